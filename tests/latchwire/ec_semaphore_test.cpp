// The named semaphore that orders EC exchanges: name, counts, wait limit,
// several threads and processes, a holder killed inside its exchange.
#include <gtest/gtest.h>

#include <thread>

#include "driver_environment.h"
#include "handle_count.h"
#include "keyhaven_process.h"
#include "latchwire.h"
#include "library_calls.h"

using latchwiretest::LibraryCalls;
using testsupport::VirtualNotebook;

namespace {

constexpr char kSemaphoreName[] = "Quorin Utility Semaphore Object";

PROCESS_INFORMATION StartWorker(int exchanges)
{
    std::string command = "\"" + keyhavenremote::ProgramFolder() + "ec_exchange_worker.exe\" " + std::to_string(exchanges);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    return process;
}

DWORD FinishWorker(PROCESS_INFORMATION& worker)
{
    DWORD failures = 1;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.hProcess, 120000));
    GetExitCodeProcess(worker.hProcess, &failures);
    CloseHandle(worker.hThread);
    CloseHandle(worker.hProcess);
    return failures;
}

// Results of the library's semaphore waits, e.g. {WAIT_OBJECT_0, WAIT_TIMEOUT}; each must be a 600 ms wait.
std::vector<DWORD> WaitResults(const LibraryCalls& calls)
{
    std::vector<DWORD> results;
    for (const std::pair<DWORD, DWORD>& w : calls.Get().waits) {
        EXPECT_EQ(600u, w.first);
        results.push_back(w.second);
    }
    return results;
}

bool SemaphoreIsFree()
{
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    bool free = WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0;
    if (free) ReleaseSemaphore(semaphore, 1, nullptr);
    CloseHandle(semaphore);
    return free;
}

void ExpectEcIdleAndUnharmed()
{
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(0u, s.violationInterleave + s.violationOverlap + s.violationNoReady);
    EXPECT_EQ(FLAG_FREE, s.ecFlag);
    EXPECT_EQ(EC_DEFAULT_ADDR, s.indexAddress);
    EXPECT_EQ(0u, s.decodeOpen);
}

class EcSemaphore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(VirtualNotebook::Reset()); }
};

TEST_F(EcSemaphore, EachExchangeOpensWaitsSixHundredMsAndGivesBackOnlyWhatItHeld)
{
    HANDLE holder = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder, 0));
    {
        LibraryCalls calls;
        EXPECT_EQ(1, FnKeyDown()) << "after the wait runs out, the exchange goes on without the semaphore";
        EXPECT_EQ(std::vector<std::string>{"Quorin Utility Semaphore Object 1/1"}, calls.Get().semaphores);
        EXPECT_EQ(std::vector<DWORD>{WAIT_TIMEOUT}, WaitResults(calls));
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(holder, 0)) << "it released what it never held";
    ASSERT_TRUE(ReleaseSemaphore(holder, 1, nullptr));
    CloseHandle(holder);
    LibraryCalls calls;
    EXPECT_EQ(1, FnKeyUP());
    EXPECT_EQ(std::vector<DWORD>{WAIT_OBJECT_0}, WaitResults(calls));
    EXPECT_TRUE(SemaphoreIsFree()) << "the exchange gave the semaphore back";
}

TEST_F(EcSemaphore, ThreadsAndProcessesTogetherNeverWaitOutTheLimitNorInterleave)
{
    constexpr int kExchanges = 100;
    PROCESS_INFORMATION workers[2] = {StartWorker(30), StartWorker(30)};
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
    }
    EXPECT_EQ(0, failures[0] + failures[1]);
    for (PROCESS_INFORMATION& w : workers) EXPECT_EQ(0u, FinishWorker(w));
    ExpectEcIdleAndUnharmed();
}

TEST_F(EcSemaphore, ExchangesLeaveNoHandleBehind)
{
    for (int i = 0; i < 10; ++i) ASSERT_EQ(1, i % 2 ? FnKeyUP() : FnKeyDown());
    const unsigned long afterTen = testsupport::CountOpenHandles();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(1, i % 2 ? FnKeyUP() : FnKeyDown());
    EXPECT_EQ(afterTen, testsupport::CountOpenHandles());
}

// A worker killed while it waits for the EC inside an exchange: the window
// open, the handshake posted, its semaphore count taken.
class KilledInsideAnExchange : public EcSemaphore, public ::testing::WithParamInterface<bool> {};

TEST_P(KilledInsideAnExchange, NextExchangeRestoresTheBridgeAsFoundAndFreesTheSemaphore)
{
    const bool anotherProgramKeepsTheSemaphore = GetParam();
    ASSERT_EQ(1, FnKeyUP()) << "this process takes part in exchanges before the worker dies";
    USHORT found = 0x0C01;
    ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, 0x1F, 0, 0x84, reinterpret_cast<UCHAR*>(&found), 2));
    HANDLE other = anotherProgramKeepsTheSemaphore ? CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName) : nullptr;
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    PROCESS_INFORMATION worker = StartWorker(100000);
    VnSnapshot s{};
    for (int i = 0; i < 5000 && !(s.decodeOpen && s.ecFlag == FLAG_POSTED); ++i) s = VirtualNotebook::State();
    ASSERT_TRUE(TerminateProcess(worker.hProcess, 99));
    ASSERT_EQ(99u, FinishWorker(worker)) << "the killed worker ended";
    ASSERT_EQ(1u, VirtualNotebook::State().decodeOpen) << "killed inside its exchange";

    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, VN_UNLIMITED));
    {
        LibraryCalls calls;
        EXPECT_EQ(1, FnKeyDown());
        EXPECT_EQ(std::vector<DWORD>{other ? static_cast<DWORD>(WAIT_TIMEOUT) : WAIT_OBJECT_0}, WaitResults(calls));
    }
    EXPECT_EQ(0x0C01u, VirtualNotebook::State().decodeBase) << "as the killed worker found it";
    ExpectEcIdleAndUnharmed();
    LibraryCalls calls;
    EXPECT_EQ(1, FnKeyUP());
    EXPECT_EQ(std::vector<DWORD>{WAIT_OBJECT_0}, WaitResults(calls)) << "the semaphore is free again";
    EXPECT_EQ(0x0C01u, VirtualNotebook::State().decodeBase);
    if (other) CloseHandle(other);
}

INSTANTIATE_TEST_SUITE_P(SemaphoreKeptOrNot, KilledInsideAnExchange, ::testing::Bool());

}  // namespace
