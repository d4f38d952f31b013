// Who holds the EC exchange semaphore, and what its exchange found in the
// chipset's decode registers: a small named shared-memory record beside the
// semaphore. A semaphore has no owner, so when a process dies inside an
// exchange its count stays taken and the decode window stays open; the
// record lets the next exchange see that the holder is gone, put the bridge
// back as that holder found it, and give the semaphore back.
//
// Only the semaphore's holder writes the record. Programs that use the
// semaphore without this library leave it empty, and then nothing changes.
#pragma once

#include <windows.h>

#include "chipset_window.h"

namespace latchwire {

struct OwnerRecord;

class ExchangeOwner : public FoundDecodeListener {
public:
    ExchangeOwner();

    // After this exchange took the semaphore: claims the record. True when
    // the holder before died inside its exchange; *abandoned then holds
    // what it had found (chipset CHIPSET_NONE if it had not opened the window).
    bool ClaimAfterWait(FoundDecode* abandoned);

    // After a wait that ran out: true when the holder has died and this
    // exchange took its place (only one waiter can), with *abandoned as above.
    bool TakeOverFromDeadHolder(FoundDecode* abandoned);

    // Holder only: the found registers, before the window is opened.
    void NoteFound(const FoundDecode& found) override;
    // Holder only: the bridge is restored, nothing is left to put back.
    void NoteRestored();
    // Holder only, after the semaphore is given back: the record is free.
    void Leave();

private:
    bool TakeRecordFrom(LONG previousOwner, FoundDecode* abandoned);

    OwnerRecord* record_;
    bool holder_ = false;
};

}  // namespace latchwire
