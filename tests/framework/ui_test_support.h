// Helpers for tests that run framework windows in a real message loop under Xvfb.
#pragma once

#include "afxwin.h"

#include <gtest/gtest.h>

#include <functional>

#include "thread_language.h"

namespace uitest {

using testsupport::ThreadLanguage;

// The test programs' application object: counts the ID_HELP commands routed to it.
class CTestApp : public CWinApp {
public:
    int m_nHelpCommands = 0;
    afx_msg void OnTestHelp() { ++m_nHelpCommands; }
    DECLARE_MESSAGE_MAP()
};
CTestApp& TestApp();

// Runs fn from whatever message loop is running when the queue next goes idle
// (a thread timer): the way to act inside a modal dialog's loop.
void RunWhenIdle(std::function<void()> fn);

// Takes a WM_QUIT waiting in the thread's queue; true when there was one.
bool TakeQuitMessage(int* pExitCode = nullptr);

// Base fixture. A watchdog ends a modal loop that a failing test leaves
// running (by posting WM_QUIT) and fails the test; TearDown drops tasks that
// did not run, any WM_QUIT left in the queue and the main window.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace uitest
