#include "exchange_owner.h"

namespace latchwire {

struct OwnerRecord {
    volatile LONG ownerPid;  // 0: no holder recorded
    volatile LONG chipset;   // of found; written last, CHIPSET_NONE while nothing is found
    FoundDecode found;
};

namespace {

constexpr char kRecordName[] = "Latchwire EC Exchange Owner";

// The record must outlive a process that dies inside its exchange, so every
// process that runs exchanges keeps it open, and so named, until it ends: one
// mapping handle and one view per process, never closed. Threads that race
// here keep the first and close their own.
OwnerRecord* volatile g_record = nullptr;

OwnerRecord* SharedRecord()
{
    if (g_record != nullptr) return static_cast<OwnerRecord*>(g_record);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(OwnerRecord),
                                        kRecordName);
    if (mapping == nullptr) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(OwnerRecord));
    if (view == nullptr) {
        CloseHandle(mapping);
        return nullptr;
    }
    void* previous = InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_record), view, nullptr);
    if (previous == nullptr) return static_cast<OwnerRecord*>(view);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return static_cast<OwnerRecord*>(previous);
}

// A process that cannot be opened for lack of rights counts as alive, as
// does one whose id was reused: the record is then left alone.
bool ProcessHasEnded(LONG pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;
    bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

LONG ThisProcess()
{
    return static_cast<LONG>(GetCurrentProcessId());
}

}  // namespace

ExchangeOwner::ExchangeOwner() : record_(SharedRecord()) {}

bool ExchangeOwner::TakeRecordFrom(LONG previousOwner, FoundDecode* abandoned)
{
    if (InterlockedCompareExchange(&record_->ownerPid, ThisProcess(), previousOwner) != previousOwner) return false;
    holder_ = true;
    *abandoned = record_->found;
    abandoned->chipset = record_->chipset;
    InterlockedExchange(&record_->chipset, CHIPSET_NONE);
    return true;
}

bool ExchangeOwner::ClaimAfterWait(FoundDecode* abandoned)
{
    if (record_ == nullptr) return false;
    const LONG previous = record_->ownerPid;
    const bool holderDied = previous != 0 && previous != ThisProcess() && ProcessHasEnded(previous);
    if (!TakeRecordFrom(previous, abandoned)) return false;
    return holderDied;
}

bool ExchangeOwner::TakeOverFromDeadHolder(FoundDecode* abandoned)
{
    if (record_ == nullptr) return false;
    const LONG previous = record_->ownerPid;
    if (previous == 0 || previous == ThisProcess() || !ProcessHasEnded(previous)) return false;
    return TakeRecordFrom(previous, abandoned);
}

void ExchangeOwner::NoteFound(const FoundDecode& found)
{
    if (!holder_) return;
    record_->found = found;
    InterlockedExchange(&record_->chipset, found.chipset);
}

void ExchangeOwner::NoteRestored()
{
    if (holder_) InterlockedExchange(&record_->chipset, CHIPSET_NONE);
}

void ExchangeOwner::Leave()
{
    if (holder_) InterlockedCompareExchange(&record_->ownerPid, 0, ThisProcess());
    holder_ = false;
}

}  // namespace latchwire
