// Helpers for tests that run framework windows in a real message loop under Xvfb.
#pragma once

#include "afxwin.h"

#include <gtest/gtest.h>

#include <functional>

#include "thread_language.h"

namespace uitest {

// Runs fn from whatever message loop is running when the queue next goes idle,
// no sooner than nDelayMs from now (a thread timer): the way to act inside a
// modal dialog's loop.
void RunWhenIdle(std::function<void()> fn, UINT nDelayMs = 1);

// Takes a WM_QUIT waiting in the thread's queue; true when there was one.
bool TakeQuitMessage(int* pExitCode = nullptr);

using testsupport::ThreadLanguage;

// Base fixture. A watchdog ends a modal loop that a failing test leaves
// running (by posting WM_QUIT) and fails the test; TearDown drops tasks that
// did not run and any WM_QUIT left in the queue.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace uitest
