#include "ui_test_support.h"

#include <map>

namespace uitest {

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
    ON_COMMAND(ID_HELP, OnTestHelp)
END_MESSAGE_MAP()

namespace {

CTestApp theApp;

const UINT kWatchdogMilliseconds = 20000;
UINT_PTR g_watchdog = 0;
bool g_watchdogFired = false;

std::map<UINT_PTR, std::function<void()>>& PendingTasks()
{
    static std::map<UINT_PTR, std::function<void()>> tasks;
    return tasks;
}

void CALLBACK RunTask(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(NULL, id);
    auto it = PendingTasks().find(id);
    if (it == PendingTasks().end()) return;
    std::function<void()> fn = std::move(it->second);
    PendingTasks().erase(it);
    fn();
}

void CALLBACK Watchdog(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(NULL, id);
    g_watchdog = 0;
    g_watchdogFired = true;
    ::PostQuitMessage(0);
}

}  // namespace

CTestApp& TestApp() { return theApp; }

void RunWhenIdle(std::function<void()> fn)
{
    UINT_PTR id = ::SetTimer(NULL, 0, 1, RunTask);
    ASSERT_NE(0u, id);
    PendingTasks()[id] = std::move(fn);
}

bool TakeQuitMessage(int* pExitCode)
{
    MSG msg;
    bool bFound = false;
    while (::PeekMessage(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        bFound = true;
        if (pExitCode != nullptr) *pExitCode = static_cast<int>(msg.wParam);
    }
    return bFound;
}

void UiTest::SetUp()
{
    g_watchdogFired = false;
    g_watchdog = ::SetTimer(NULL, 0, kWatchdogMilliseconds, Watchdog);
}

void UiTest::TearDown()
{
    if (g_watchdog != 0) ::KillTimer(NULL, g_watchdog);
    g_watchdog = 0;
    for (auto& task : PendingTasks()) ::KillTimer(NULL, task.first);
    PendingTasks().clear();
    TakeQuitMessage();
    TestApp().m_pMainWnd = NULL;
    CWnd::DeleteTempMap();
    EXPECT_FALSE(g_watchdogFired) << "a modal loop was left running and had to be ended";
}

}  // namespace uitest
