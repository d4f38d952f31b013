// The named semaphore orders EC exchanges across processes; a slow holder
// delays an exchange by the wait limit only; an exchange leaves no handle.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "driver_environment.h"
#include "ec_hardware.h"
#include "handle_count.h"
#include "keyhaven_process.h"
#include "latchwire.h"

using testsupport::VirtualNotebook;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

constexpr char kSemaphoreName[] = "Quorin Utility Semaphore Object";

PROCESS_INFORMATION StartWorker(int exchanges)
{
    std::string command = "\"" + keyhavenremote::ProgramFolder() + "ec_exchange_worker.exe" + "\" " + std::to_string(exchanges);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    return process;
}

long long MillisecondsOf(int (*call)())
{
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1, call());
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

class EcSemaphore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(VirtualNotebook::Reset()); }
};

TEST_F(EcSemaphore, ConcurrentProcessesNeverInterleaveOnTheEc)
{
    constexpr int kWorkers = 4;
    constexpr int kExchanges = 40;
    std::vector<PROCESS_INFORMATION> workers;
    for (int i = 0; i < kWorkers; ++i) workers.push_back(StartWorker(kExchanges));
    for (PROCESS_INFORMATION& w : workers) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(w.hProcess, 120000));
        DWORD failures = 1;
        GetExitCodeProcess(w.hProcess, &failures);
        EXPECT_EQ(0u, failures);
        CloseHandle(w.hThread);
        CloseHandle(w.hProcess);
    }
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(static_cast<uint32_t>(kWorkers * kExchanges * 2), s.ecLogCount);
    EXPECT_EQ(0u, s.violationInterleave);
    EXPECT_EQ(0u, s.violationOverlap);
    EXPECT_EQ(0u, s.violationNoReady);
    EXPECT_EQ(FLAG_FREE, s.ecFlag);
    EXPECT_EQ(EC_DEFAULT_ADDR, s.indexAddress);
}

TEST_F(EcSemaphore, SlowHolderDelaysTheExchangeByTheWaitLimitAndItsReleaseDoesNothing)
{
    HANDLE holder = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    ASSERT_NE(nullptr, holder);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder, 0));

    long long delayed = MillisecondsOf(FnKeyDown);
    EXPECT_GE(delayed, 600);
    EXPECT_LT(delayed, 600 + 400);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(holder, 0)) << "the exchange released what it never held";

    ASSERT_TRUE(ReleaseSemaphore(holder, 1, nullptr));
    EXPECT_LT(MillisecondsOf(FnKeyUP), 300) << "free again, no wait";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder, 0)) << "the exchange gave the semaphore back";
    ReleaseSemaphore(holder, 1, nullptr);
    CloseHandle(holder);
    EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
}

TEST_F(EcSemaphore, ExchangesLeaveNoHandleBehind)
{
    for (int i = 0; i < 10; ++i) ASSERT_EQ(1, i % 2 ? FnKeyUP() : FnKeyDown());
    const unsigned long afterTen = testsupport::CountOpenHandles();
    ASSERT_GT(afterTen, 0u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(1, i % 2 ? FnKeyUP() : FnKeyDown());
    EXPECT_EQ(afterTen, testsupport::CountOpenHandles());
}

}  // namespace
