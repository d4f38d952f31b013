#include "exchange_record.h"

#include <cstring>

#include "ec_hardware.h"
#include "shared_objects.h"
#include "trace_log.h"

namespace latchwire {

namespace {

constexpr RecordBody kNoRecord{};

SharedRecord* volatile g_shared = nullptr;
HANDLE g_keptSemaphore = nullptr;  // written only by a holder of the lock
LONG g_takesWhenKept = 0;

// The record must outlive a holder that dies inside its exchange, so every
// process that runs exchanges keeps it mapped until it ends. Threads that race
// here keep the first and give up their own.
SharedRecord* MappedRecord()
{
    if (g_shared != nullptr) return g_shared;
    const SharedView mapped = MapSharedSection(kExchangeRecordName, sizeof(SharedRecord));
    if (mapped.view == nullptr) return nullptr;
    void* previous =
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_shared), mapped.view, nullptr);
    if (previous == nullptr) return static_cast<SharedRecord*>(mapped.view);
    UnmapSharedSection(mapped);
    return static_cast<SharedRecord*>(previous);
}

bool IsFlag(ULONG value)
{
    return value == 0 || value == 1;
}

// The found registers as an exchange could have read them: a 2-byte base and
// a 1-byte control read into cleared words, the control only on the first
// chipset, and the vendor that chipset is detected by.
bool DecodeFromRecord(const RecordBody& body, FoundDecode* found)
{
    if (body.chipset != CHIPSET_FIRST && body.chipset != CHIPSET_SECOND) return false;
    const Chipset chipset = static_cast<Chipset>(body.chipset);
    if (body.vendor != ChipsetVendor(chipset) || !IsFlag(body.baseSaved) || !IsFlag(body.controlSaved)) return false;
    if (body.base > 0xFFFF || body.control > 0xFF) return false;
    if (chipset == CHIPSET_SECOND && (body.controlSaved || body.control)) return false;
    *found = FoundDecode{chipset, static_cast<LONG>(body.baseSaved), static_cast<LONG>(body.controlSaved),
                         static_cast<USHORT>(body.base), static_cast<UCHAR>(body.control)};
    return true;
}

}  // namespace

ExchangeRecord::ExchangeRecord() : shared_(MappedRecord()) {}

void ExchangeRecord::Claim(bool deadHolder)
{
    if (shared_ == nullptr) return;
    claimed_ = true;
    if (deadHolder) Inherit();
    // What was taken over stays recorded until it is given back or restored,
    // in case this holder dies too.
    body_ = RecordBody{};
    body_.holder = GetCurrentProcessId();
    if (inheritsCount_) {
        body_.holdsSemaphore = 1;
        body_.semaphoreTake = inheritedTake_;
    }
    if (abandoned_.chipset != CHIPSET_NONE) KeepFound(abandoned_);
    Publish();
}

void ExchangeRecord::Inherit()
{
    RecordBody left;
    std::memcpy(&left, const_cast<const RecordBody*>(&shared_->body), sizeof left);
    TraceLog("EC exchange taken over from a holder that died\n\r");
    const LONG seal = shared_->seal;
    if (seal == 0 && std::memcmp(&left, &kNoRecord, sizeof left) == 0) return;  // it died with the record
    if (seal != SealOf(left)) {
        TraceLog("EC exchange record left by a holder that died is not whole, ignored\n\r");
        return;
    }
    const LONG take = static_cast<LONG>(left.semaphoreTake);
    inheritsCount_ = left.holdsSemaphore == 1 && g_keptSemaphore != nullptr && take > g_takesWhenKept &&
                     take <= shared_->takes;
    inheritedTake_ = left.semaphoreTake;
    if (left.chipset == CHIPSET_NONE) return;
    FoundDecode found{};
    if (DecodeFromRecord(left, &found) && FoundDecodeFitsNotebook(found)) {
        abandoned_ = found;
    } else {
        TraceLog("EC exchange record left by a holder that died does not fit this notebook, ignored\n\r");
    }
}

void ExchangeRecord::KeepSemaphoreAlive(HANDLE semaphore)
{
    if (!claimed_ || g_keptSemaphore != nullptr || semaphore == nullptr) return;
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, semaphore, self, &g_keptSemaphore, 0, FALSE, DUPLICATE_SAME_ACCESS)) return;
    g_takesWhenKept = shared_->takes;
}

void ExchangeRecord::NoteSemaphoreHeld()
{
    if (!claimed_) return;
    body_.holdsSemaphore = 1;
    body_.semaphoreTake = static_cast<ULONG>(InterlockedIncrement(&shared_->takes));
    Publish();
}

void ExchangeRecord::NoteFound(const FoundDecode& found)
{
    if (!claimed_) return;
    KeepFound(found);
    Publish();
}

void ExchangeRecord::KeepFound(const FoundDecode& found)
{
    body_.chipset = static_cast<ULONG>(found.chipset);
    body_.vendor = ChipsetVendor(static_cast<Chipset>(found.chipset));
    body_.baseSaved = static_cast<ULONG>(found.baseSaved);
    body_.controlSaved = static_cast<ULONG>(found.controlSaved);
    body_.base = found.base;
    body_.control = found.control;
}

void ExchangeRecord::NoteRestored()
{
    if (!claimed_) return;
    body_.chipset = CHIPSET_NONE;
    Publish();
}

void ExchangeRecord::NoteSemaphoreGivenBack()
{
    if (!claimed_) return;
    body_.holdsSemaphore = 0;
    Publish();
}

void ExchangeRecord::Leave()
{
    if (!claimed_) return;
    body_ = RecordBody{};
    Publish();
    claimed_ = false;
}

void ExchangeRecord::Publish()
{
    InterlockedExchange(&shared_->seal, 0);
    std::memcpy(const_cast<RecordBody*>(&shared_->body), &body_, sizeof body_);
    InterlockedExchange(&shared_->seal, SealOf(body_));
}

}  // namespace latchwire
