// The lock that orders EC exchanges: the exchange lock of this library beside
// the named semaphore that other programs use. Several threads and processes,
// every core busy, living holders slower than the semaphore's limit, holders
// killed at every step of an exchange, plain programs and hostile records.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "debug_output_capture.h"
#include "driver_environment.h"
#include "exchange_record.h"
#include "keyhaven_process.h"
#include "latchwire.h"
#include "library_calls.h"

using debugoutput::TraceCapture;
using latchwiretest::LibraryCalls;
using testsupport::VirtualNotebook;
using Texts = std::vector<std::string>;

namespace {

constexpr char kSemaphoreName[] = "Quorin Utility Semaphore Object";
constexpr char kRecordName[] = "Global\\Latchwire EC Exchange Record";
constexpr char kGlobalLockName[] = "Global\\Latchwire EC Exchange Lock";
constexpr char kSessionLockName[] = "Latchwire EC Exchange Lock";
constexpr char kTakenOver[] = "EC exchange taken over from a holder that died\n\r";
constexpr char kCompleted[] = "FnKeyDown process completed\n\n\r";
constexpr DWORD kKilledExitCode = 99;
constexpr DWORD kWorkerLimitMs = 20000;
constexpr USHORT kFoundBase = 0x0C01;
constexpr UCHAR kFoundControl = 0x20;

PROCESS_INFORMATION StartWorker(const std::string& arguments)
{
    std::string command = "\"" + keyhavenremote::ProgramFolder() + "ec_exchange_worker.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    return process;
}

DWORD FinishWorker(PROCESS_INFORMATION& worker)
{
    DWORD exitCode = 1;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.hProcess, kWorkerLimitMs)) << "the worker did not end in 20 s";
    GetExitCodeProcess(worker.hProcess, &exitCode);
    CloseHandle(worker.hThread);
    CloseHandle(worker.hProcess);
    return exitCode;
}

DWORD RunWorker(const std::string& arguments)
{
    PROCESS_INFORMATION worker = StartWorker(arguments);
    return FinishWorker(worker);
}

// Results of the library's semaphore waits, e.g. {WAIT_OBJECT_0, WAIT_TIMEOUT}, each a 600 ms wait; or of
// its waits for the exchange lock, each 5 s at most.
std::vector<DWORD> WaitResults(const LibraryCalls& calls, bool lock = false)
{
    const latchwiretest::Recorded seen = calls.Get();
    std::vector<DWORD> results;
    for (const std::pair<DWORD, DWORD>& w : lock ? seen.lockWaits : seen.waits) {
        EXPECT_TRUE(lock ? w.first <= 5000 : w.first == 600) << w.first;
        results.push_back(w.second);
    }
    return results;
}

// With giveBackLost, a count that no one can give back any more is given back
// by the test that lost it.
bool SemaphoreIsFree(bool giveBackLost = false)
{
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    bool free = WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0;
    if (free || giveBackLost) EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, nullptr));
    CloseHandle(semaphore);
    return free;
}

// Handles open in this process; where the platform counts none (Wine), the handle table is probed.
unsigned long OpenHandles()
{
    DWORD count = 0, flags;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

// The EC as an exchange leaves it, and the window closed. The exchange that
// takes over from a holder that died inside its handshake ends that handshake,
// which the EC counts as another agent's access: interleaving is checked where
// no holder dies.
void ExpectEcIdle(bool holderDied, bool windowClosed = true)
{
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(0u, s.violationOverlap + s.violationNoReady + (holderDied ? 0 : s.violationInterleave));
    EXPECT_EQ(FLAG_FREE, s.ecFlag);
    EXPECT_EQ(EC_DEFAULT_ADDR, s.indexAddress);
    if (windowClosed) EXPECT_EQ(0u, s.decodeOpen);
}

// The chipset, with decode registers that no exchange writes, so that
// "restored as found" cannot pass by chance.
void UseChipset(uint32_t chipset)
{
    ASSERT_TRUE(VirtualNotebook::Reset());
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, chipset));
    const bool first = chipset == VN_CHIPSET_FIRST;
    USHORT base = kFoundBase;
    ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, first ? 0x14 : 0x1F, first ? 3 : 0, first ? 0x64 : 0x84,
                                     reinterpret_cast<UCHAR*>(&base), 2));
    UCHAR control = kFoundControl;
    if (first) ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, 0x14, 3, 0x48, &control, 1));
}

void ExpectDecodeAsFound(uint32_t chipset)
{
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(kFoundBase, s.decodeBase);
    EXPECT_EQ(chipset == VN_CHIPSET_FIRST ? kFoundControl : 0u, s.decodeControl);
}

// The device requests of one exchange by this process, as texts.
Texts OneExchangeRequests()
{
    LibraryCalls calls;
    EXPECT_EQ(1, FnKeyDown());
    return calls.Get().RequestTexts();
}

// The record as every process maps it, for the life of the view.
struct SharedRecordView {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kRecordName);
    latchwire::SharedRecord* record = static_cast<latchwire::SharedRecord*>(
        mapping ? MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0) : nullptr);
    ~SharedRecordView()
    {
        if (record) UnmapViewOfFile(record);
        if (mapping) CloseHandle(mapping);
    }
};

class EcLock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(VirtualNotebook::Reset()); }
};

TEST_F(EcLock, ThreadsAndProcessesWithEveryCoreBusyNeverWaitOutTheLimitNorInterleave)
{
    constexpr int kExchanges = 100;
    std::atomic<bool> stop{false};
    auto spin = [&stop] { while (!stop) continue; };
    std::thread busy[2] = {std::thread(spin), std::thread(spin)};  // every core busy
    PROCESS_INFORMATION workers[2] = {StartWorker("30"), StartWorker("30")};
    int failures[2] = {0, 0};
    {
        LibraryCalls calls;
        std::thread threads[2];
        for (int t = 0; t < 2; ++t) {
            threads[t] = std::thread([&failures, t] {
                for (int i = 0; i < kExchanges; ++i) failures[t] += (i % 2 ? FnKeyUP() : FnKeyDown()) ? 0 : 1;
            });
        }
        for (std::thread& t : threads) t.join();
        EXPECT_EQ(std::vector<DWORD>(2 * kExchanges, WAIT_OBJECT_0), WaitResults(calls));
        for (DWORD result : WaitResults(calls, true)) EXPECT_EQ(WAIT_OBJECT_0, result);
    }
    EXPECT_EQ(0, failures[0] + failures[1]);
    for (PROCESS_INFORMATION& w : workers) EXPECT_EQ(0u, FinishWorker(w));
    stop = true;
    for (std::thread& t : busy) t.join();
    ExpectEcIdle(false);
}

// Exchanges leave no handle open, and a record that names no holder and nothing to restore.
TEST_F(EcLock, ExchangesLeaveNoHandleBehindAndAnEmptyRecord)
{
    for (int i = 0; i < 10; ++i) ASSERT_EQ(1, i % 2 ? FnKeyUP() : FnKeyDown());
    const unsigned long afterTen = OpenHandles();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(1, i % 2 ? FnKeyUP() : FnKeyDown());
    EXPECT_EQ(afterTen, OpenHandles());
    SharedRecordView view;
    ASSERT_TRUE(view.record);
    const latchwire::RecordBody body = const_cast<const latchwire::RecordBody&>(view.record->body);
    const latchwire::RecordBody empty{};
    EXPECT_EQ(0, std::memcmp(&body, &empty, sizeof body)) << "holder " << body.holder << ", chipset " << body.chipset;
    EXPECT_EQ(latchwire::SealOf(body), view.record->seal);
}

// The access that every user, of any session, gets to the lock and the record: to wait for and release
// a mutex, to read and write the record; nothing more.
ACCESS_MASK EveryonesAccess(HANDLE object)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ACCESS_MASK mask = 0;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return 0xFFFFFFFF;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(&ace->SidStart, everyone)) {
            mask |= ace->Mask;
        }
    }
    FreeSid(everyone);
    LocalFree(descriptor);
    return mask;
}

TEST_F(EcLock, EveryUserMayTakeTheLockAndUseTheRecordButNothingMore)
{
    ASSERT_EQ(1, FnKeyDown());
    const struct { const char* name; HANDLE object; ACCESS_MASK everyone; } objects[] = {
        {"global mutex", OpenMutexA(READ_CONTROL, FALSE, kGlobalLockName), 0x00100001},
        {"session mutex", OpenMutexA(READ_CONTROL, FALSE, kSessionLockName), 0x00100001},
        {"record", OpenFileMappingA(READ_CONTROL, FALSE, kRecordName), 0x000F0006},
    };
    for (const auto& o : objects) {
        EXPECT_NE(nullptr, o.object) << o.name;
        EXPECT_EQ(o.everyone, EveryonesAccess(o.object)) << o.name;
        CloseHandle(o.object);
    }
}

// The global mutex is given back after a second while the session's stays held: the exchange waits for
// the lock 5 s in all, the second mutex only what is left of them.
TEST_F(EcLock, TheLockIsWaitedForFiveSecondsInAllNotForEachOfItsMutexes)
{
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr), done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([taken, done] {
        HANDLE global = CreateMutexA(nullptr, FALSE, kGlobalLockName);
        HANDLE local = CreateMutexA(nullptr, FALSE, kSessionLockName);
        WaitForSingleObject(global, 0);
        WaitForSingleObject(local, 0);
        SetEvent(taken);
        Sleep(1000);
        ReleaseMutex(global);
        WaitForSingleObject(done, 20000);
        ReleaseMutex(local);
        CloseHandle(global);
        CloseHandle(local);
    });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(taken, 20000));
    {
        LibraryCalls calls;
        EXPECT_EQ(0, FnKeyDown());
        EXPECT_EQ((std::vector<DWORD>{WAIT_OBJECT_0, WAIT_TIMEOUT}), WaitResults(calls, true));
        const std::vector<std::pair<DWORD, DWORD>> waits = calls.Get().lockWaits;
        EXPECT_TRUE(!waits.empty() && waits.back().first <= 4500) << "the session's mutex gets what is left";
    }
    SetEvent(done);
    holder.join();
    CloseHandle(taken);
    CloseHandle(done);
}

// One thread's exchange held inside the open window (at its tenth device
// request) while another thread's exchange starts.
class LivingHolder : public EcLock {
protected:
    void HoldFirstExchange()
    {
        const size_t before = calls_.Get().requests.size();
        calls_.BeforeRequest(static_cast<int>(before) + 10, [this] {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(release_, 20000)) << "the held exchange was not released in 20 s";
        });
        holder_ = std::thread([this] { holderResult_ = FnKeyDown(); });
        for (int i = 0; i < 10000 && calls_.Get().requests.size() < before + 10; ++i) Sleep(1);
        ASSERT_EQ(before + 10, calls_.Get().requests.size()) << "the holder did not reach its tenth request";
    }
    void StartSecondExchange()
    {
        const int begun = calls_.LockWaitsBegun();
        second_ = std::thread([this] { secondResult_ = FnKeyUP(), secondDone_ = true; });
        for (int i = 0; i < 10000 && calls_.LockWaitsBegun() == begun; ++i) Sleep(1);
        ASSERT_GT(calls_.LockWaitsBegun(), begun) << "the second exchange did not start waiting for the lock";
    }
    void ReleaseHolder()
    {
        SetEvent(release_);
        if (holder_.joinable()) holder_.join();
        if (second_.joinable()) second_.join();
    }
    void TearDown() override
    {
        ReleaseHolder();
        CloseHandle(release_);
    }

    LibraryCalls calls_;
    HANDLE release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder_, second_;
    int holderResult_ = -1, secondResult_ = -1;
    std::atomic<bool> secondDone_{false};
};

// The held exchange took the lock while the exchange before it was still
// leaving; that one's leaving never clears the held one's record. The next
// exchange is not run over the holder past the semaphore's 600 ms, and fails,
// untouched, once the lock's limit runs out.
TEST_F(LivingHolder, IsNamedInTheRecordWaitedForPastTheSemaphoresLimitAndNeverRunOver)
{
    HANDLE leaving = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    calls_.HoldAfterMutexRelease(2, leaving);
    std::thread before([] { EXPECT_EQ(1, FnKeyUP()); });
    for (int i = 0; i < 10000 && calls_.Get().mutexReleases < 2; ++i) Sleep(1);
    ASSERT_EQ(2, calls_.Get().mutexReleases) << "the exchange before did not give the lock back";
    HoldFirstExchange();
    SetEvent(leaving);
    before.join();
    CloseHandle(leaving);
    {
        SharedRecordView view;
        ASSERT_TRUE(view.record);
        const latchwire::RecordBody body = const_cast<const latchwire::RecordBody&>(view.record->body);
        EXPECT_EQ(latchwire::SealOf(body), view.record->seal);
        EXPECT_EQ(GetCurrentProcessId(), body.holder);
        EXPECT_EQ(1u, body.holdsSemaphore);
        EXPECT_EQ(static_cast<ULONG>(latchwire::CHIPSET_SECOND), body.chipset) << "the found registers are recorded";
    }
    const size_t requests = calls_.Get().requests.size();
    TraceCapture trace;
    StartSecondExchange();
    Sleep(1500);
    EXPECT_FALSE(secondDone_) << "the second exchange ran while the first held the EC";
    second_.join();
    EXPECT_EQ(0, secondResult_) << "the lock cannot be won while the holder lives";
    ASSERT_FALSE(calls_.Get().lockWaits.empty());
    const std::pair<DWORD, DWORD> gaveUp = calls_.Get().lockWaits.back();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), gaveUp.second);
    EXPECT_GE(gaveUp.first, 4000u) << "the lock is waited for 5 s before the exchange gives up";
    EXPECT_EQ((Texts{"Call function -->FnKeyUP\n\r", "EC exchange lock not won, nothing sent\n\r", "FnKeyUP Fail\n\r"}),
              trace.Messages());
    EXPECT_EQ(requests, calls_.Get().requests.size()) << "the failed exchange touched a port";
    ReleaseHolder();
    EXPECT_EQ(1, holderResult_);
    EXPECT_EQ((std::vector<DWORD>{WAIT_OBJECT_0, WAIT_OBJECT_0}), WaitResults(calls_));
    ExpectEcIdle(false);
    EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
    EXPECT_TRUE(SemaphoreIsFree());
}

// A worker killed at one step of its exchange; this process runs the next
// one. While a plain program holds the semaphore, its count is never taken.
void ExpectNextExchangeTakesOverAtOnce(uint32_t chipset, bool plainHolds = false)
{
    {
        LibraryCalls calls;
        TraceCapture trace;
        EXPECT_EQ(1, FnKeyDown());
        const std::vector<DWORD> lockWaits = WaitResults(calls, true), waits = WaitResults(calls);
        ASSERT_FALSE(lockWaits.empty());
        EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), lockWaits[0]) << "the death was reported";
        if (plainHolds) EXPECT_EQ(std::vector<DWORD>{WAIT_TIMEOUT}, waits) << "the plain program's count was taken";
        for (DWORD result : waits) EXPECT_TRUE(plainHolds || result == WAIT_OBJECT_0) << "no wait runs out";
        EXPECT_EQ((Texts{"Call function -->FnKeyDown\n\r", kTakenOver, kCompleted}), trace.Messages());
    }
    ExpectDecodeAsFound(chipset);
    ExpectEcIdle(true);
    EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
    EXPECT_EQ(!plainHolds, SemaphoreIsFree());
}

class KilledHolder : public EcLock, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(KilledHolder, AtEveryDeviceRequestOfItsExchangeIsTakenOverAtOnce)
{
    const uint32_t chipset = GetParam();
    UseChipset(chipset);
    const size_t requests = OneExchangeRequests().size();
    ASSERT_GT(requests, 30u);
    for (size_t k = 1; k <= requests; ++k) {
        SCOPED_TRACE("killed instead of making request " + std::to_string(k));
        UseChipset(chipset);
        ASSERT_EQ(kKilledExitCode, RunWorker("1 request " + std::to_string(k)));
        ExpectNextExchangeTakesOverAtOnce(chipset);
    }
}

INSTANTIATE_TEST_SUITE_P(BothChipsets, KilledHolder, ::testing::Values(VN_CHIPSET_FIRST, VN_CHIPSET_SECOND));

// Records that no holder of the lock wrote, found by the next holder after a
// worker died with the window open: each is ignored, traced, and never
// reaches the bridge.
struct HostileRecord {
    const char* name;
    std::function<void(latchwire::SharedRecord&)> write;
    const char* trace;
    bool countLost;  // the record no longer tells that the dead holder held a semaphore count
};

void Reseal(latchwire::SharedRecord& record)
{
    record.seal = latchwire::SealOf(const_cast<latchwire::RecordBody&>(record.body));
}

const HostileRecord kHostileRecords[] = {
    {"torn", [](latchwire::SharedRecord& r) { r.body.base = 0xBEEF, r.seal = 0; },
     "EC exchange record left by a holder that died is not whole, ignored\n\r", true},
    {"base wider than its register",
     [](latchwire::SharedRecord& r) { r.body.base = 0x1BEEF, Reseal(r); },
     "EC exchange record left by a holder that died does not fit this notebook, ignored\n\r"},
    {"control wider than its register",
     [](latchwire::SharedRecord& r) { r.body.base = 0xBEEF, r.body.control = 0x1FF, Reseal(r); },
     "EC exchange record left by a holder that died does not fit this notebook, ignored\n\r"},
    {"another chipset",
     [](latchwire::SharedRecord& r) {
         r.body.chipset = 2, r.body.vendor = SECOND_CHIPSET_VENDOR, r.body.base = 0xBEEF, r.body.controlSaved = 0,
         r.body.control = 0, Reseal(r);
     },
     "EC exchange record left by a holder that died does not fit this notebook, ignored\n\r"},
    {"a saved flag neither 0 nor 1",
     [](latchwire::SharedRecord& r) { r.body.baseSaved = 2, r.body.base = 0xBEEF, Reseal(r); },
     "EC exchange record left by a holder that died does not fit this notebook, ignored\n\r"},
    {"another vendor", [](latchwire::SharedRecord& r) { r.body.vendor = 0x10DE, r.body.base = 0xBEEF, Reseal(r); },
     "EC exchange record left by a holder that died does not fit this notebook, ignored\n\r"},
};

bool WritesBeef(const latchwiretest::Recorded& recorded)
{
    for (const latchwiretest::DeviceRequest& r : recorded.requests) {
        if (r.code == IOCTL_PCI_CONFIG_WRITE && (r.pointee & 0xFF) == 0xEF) return true;
    }
    return false;
}

// Which device request of an exchange on the first chipset is its first port read, the window open.
size_t FirstPortReadOnTheFirstChipset()
{
    UseChipset(VN_CHIPSET_FIRST);
    const Texts reference = OneExchangeRequests();
    return std::find_if(reference.begin(), reference.end(), [](const std::string& t) {
               return t.rfind("R1 ", 0) == 0;
           }) - reference.begin() + 1;
}

// Kills a worker at the first port read of its exchange on the first chipset, with the window open.
void KillWorkerWithTheWindowOpen()
{
    static const size_t firstPortRead = FirstPortReadOnTheFirstChipset();
    UseChipset(VN_CHIPSET_FIRST);
    ASSERT_EQ(kKilledExitCode, RunWorker("1 request " + std::to_string(firstPortRead)));
    ASSERT_EQ(1u, VirtualNotebook::State().decodeOpen) << "killed with the window open";
}

TEST_F(EcLock, HostileRecordsNeverReachTheBridge)
{
    for (const HostileRecord& row : kHostileRecords) {
        SCOPED_TRACE(row.name);
        KillWorkerWithTheWindowOpen();
        {
            SharedRecordView view;
            ASSERT_TRUE(view.record);
            row.write(*view.record);
        }
        LibraryCalls calls;
        TraceCapture trace;
        EXPECT_EQ(1, FnKeyDown());
        EXPECT_FALSE(WritesBeef(calls.Get()));
        EXPECT_EQ((Texts{"Call function -->FnKeyDown\n\r", kTakenOver, row.trace, kCompleted}), trace.Messages());
        ExpectEcIdle(true, false);
        EXPECT_EQ(!row.countLost, SemaphoreIsFree(row.countLost));
    }
}

// The holder that takes over from a dead one dies too, before it restores anything: what the first one
// found is still restored by the next. The first one's count is lost with the second, a fresh process that
// cannot tell it from another program's; the test gives it back.
TEST_F(EcLock, WhatADeadHolderFoundOutlivesTheHolderThatTookOver)
{
    KillWorkerWithTheWindowOpen();
    ASSERT_EQ(kKilledExitCode, RunWorker("1 wait"));
    EXPECT_EQ(1, FnKeyDown());
    ExpectDecodeAsFound(VN_CHIPSET_FIRST);
    ExpectEcIdle(true);
    SemaphoreIsFree(true);
}

// A plain program holds the semaphore while a holder of the lock dies beside
// it, or while a record that no holder wrote claims a count: the plain
// program's count is never taken over, and never given back for it.
struct PlainProgramCase {
    const char* name;
    const char* workerBefore;  // kill point of a worker that dies before the plain program takes the semaphore
    const char* workerAfter;   // ... after it
    bool forgedRecord;         // a record claiming a count for a dead pid, written without the lock
};

const PlainProgramCase kPlainProgramCases[] = {
    {"holder killed as it starts waiting for the semaphore", nullptr, "1 wait", false},
    {"holder killed right after giving the semaphore back", "1 released", nullptr, false},
    {"record written without the lock", nullptr, nullptr, true},
};

void ForgeRecordClaimingACount()
{
    SharedRecordView view;
    ASSERT_TRUE(view.record);
    view.record->body = latchwire::RecordBody{0x7FFFFFF0, 1, static_cast<ULONG>(view.record->takes),
                                              latchwire::CHIPSET_SECOND, SECOND_CHIPSET_VENDOR, 1, 0, 0xBEEF, 0};
    Reseal(*view.record);
}

TEST_F(EcLock, APlainProgramsCountIsNeverTakenOverNorGivenBack)
{
    for (const PlainProgramCase& row : kPlainProgramCases) {
        SCOPED_TRACE(row.name);
        UseChipset(VN_CHIPSET_SECOND);
        ASSERT_EQ(1, FnKeyUP()) << "this process takes part in exchanges before";
        if (row.workerBefore) {
            ASSERT_EQ(kKilledExitCode, RunWorker(row.workerBefore));
            SharedRecordView view;
            ASSERT_TRUE(view.record);
            EXPECT_EQ(static_cast<ULONG>(latchwire::CHIPSET_NONE), view.record->body.chipset)
                << "the dead holder had restored what it found";
        }
        HANDLE plain = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(plain, 0));
        if (row.workerAfter) ASSERT_EQ(kKilledExitCode, RunWorker(row.workerAfter));
        if (row.forgedRecord) ForgeRecordClaimingACount();
        {
            LibraryCalls calls;
            EXPECT_EQ(1, FnKeyDown());
            EXPECT_EQ(std::vector<DWORD>{WAIT_TIMEOUT}, WaitResults(calls)) << "the plain program's count was taken";
            EXPECT_FALSE(WritesBeef(calls.Get()));
        }
        EXPECT_TRUE(ReleaseSemaphore(plain, 1, nullptr)) << "a second holder of the semaphore";
        CloseHandle(plain);
        EXPECT_TRUE(SemaphoreIsFree());
        ExpectDecodeAsFound(VN_CHIPSET_SECOND);
        ExpectEcIdle(false);
    }
}

// Runs in a process of its own that never takes part in an exchange. It keeps
// the lock and the record open, but not the semaphore, which dies with the
// worker that held it; a plain program then takes a fresh one.
TEST(FreshProcess, ADeadHoldersCountIsNeverGivenBackFromAnotherSemaphore)
{
    HANDLE kept[] = {CreateMutexA(nullptr, FALSE, kGlobalLockName),
                     CreateMutexA(nullptr, FALSE, kSessionLockName),
                     CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(latchwire::SharedRecord), kRecordName)};
    for (HANDLE h : kept) ASSERT_NE(nullptr, h);
    UseChipset(VN_CHIPSET_SECOND);
    ASSERT_EQ(kKilledExitCode, RunWorker("1 request 12")) << "killed inside its exchange, holding the semaphore";
    HANDLE plain = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    ASSERT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "the dead holder's semaphore lives on";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(plain, 0));
    ExpectNextExchangeTakesOverAtOnce(VN_CHIPSET_SECOND, true);
    EXPECT_TRUE(ReleaseSemaphore(plain, 1, nullptr)) << "the plain program's count was given back for the dead holder";
    CloseHandle(plain);
    for (HANDLE h : kept) CloseHandle(h);
}

}  // namespace
