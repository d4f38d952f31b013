// What the holder of the exchange lock has done, kept in a small named
// section beside the lock: whether it holds the utility semaphore, and the
// decode registers it found before opening the window. Only a holder of the
// lock writes or reads it.
//
// A holder that dies leaves the record as it stood, and the next holder takes
// over what it left. The record is trusted only where it can be checked: it
// must be whole (a seal over its contents is written last), its values must
// be ones an exchange could have read, and its chipset must be the one
// present now. A semaphore count is given back for the dead holder only when
// this process has kept the semaphore object alive since before the holder
// took it; otherwise the count may belong to another program.
#pragma once

#include <windows.h>

#include "chipset_window.h"

namespace latchwire {

constexpr char kExchangeRecordName[] = "Latchwire EC Exchange Record";

// Plain 32-bit words, so that a record written by any copy of the library,
// or by anyone else, is read the same way and checked word by word.
struct RecordBody {
    ULONG holder;          // process id of the lock's holder; 0 when it has left
    ULONG holdsSemaphore;  // 1 while the holder holds a count of the utility semaphore
    ULONG semaphoreTake;   // which take of the semaphore that count was
    ULONG chipset;         // of the found registers; CHIPSET_NONE when nothing is left to restore
    ULONG vendor;          // the bridge's vendor ID that the chipset was detected by
    ULONG baseSaved;
    ULONG controlSaved;
    ULONG base;
    ULONG control;
};

struct SharedRecord {
    volatile LONG takes;  // takes of the semaphore by holders so far
    RecordBody body;
    volatile LONG seal;   // SealOf(body), written last; 0 while body changes
};

// FNV-1a over the body, never 0.
inline LONG SealOf(const RecordBody& body)
{
    ULONG hash = 2166136261u;
    const UCHAR* bytes = reinterpret_cast<const UCHAR*>(&body);
    for (size_t i = 0; i < sizeof body; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash == 0 ? 1 : static_cast<LONG>(hash);
}

class ExchangeRecord : public FoundDecodeListener {
public:
    ExchangeRecord();

    // Right after the lock was taken. With deadHolder (the lock came
    // abandoned) it first reads and checks what that holder left.
    void Claim(bool deadHolder);

    // What the dead holder left that this exchange takes over.
    bool InheritsSemaphoreCount() const { return inheritsCount_; }
    const FoundDecode& AbandonedDecode() const { return abandoned_; }  // chipset CHIPSET_NONE: none

    // The exchange's own semaphore handle, once opened: the process keeps
    // the object alive from now on.
    void KeepSemaphoreAlive(HANDLE semaphore);
    void NoteSemaphoreHeld();
    void NoteFound(const FoundDecode& found) override;
    void NoteRestored();
    // Before the semaphore is given back: a holder that dies after this
    // point loses its count rather than have another program's given back.
    void NoteSemaphoreGivenBack();
    void Leave();

private:
    void Inherit();
    void KeepFound(const FoundDecode& found);  // into the body, not yet published
    void Publish();

    SharedRecord* shared_;
    RecordBody body_{};
    bool claimed_ = false;
    bool inheritsCount_ = false;
    ULONG inheritedTake_ = 0;
    FoundDecode abandoned_{};
};

}  // namespace latchwire
