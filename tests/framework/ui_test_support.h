// Helpers for tests that run framework windows in a real message loop under Xvfb.
#pragma once

#include "afxwin.h"

#include <gtest/gtest.h>

#include <functional>

namespace uitest {

// Runs fn from whatever message loop is running when the queue next goes idle,
// no sooner than nDelayMs from now (a thread timer): the way to act inside a
// modal dialog's loop.
void RunWhenIdle(std::function<void()> fn, UINT nDelayMs = 1);

// Takes a WM_QUIT waiting in the thread's queue; true when there was one.
bool TakeQuitMessage(int* pExitCode = nullptr);

// Makes one language the thread's language for resource lookups (Windows'
// loader follows the UI language, Wine's the thread locale) and restores both.
class ThreadLanguage {
public:
    explicit ThreadLanguage(LANGID language);
    ~ThreadLanguage();
    ThreadLanguage(const ThreadLanguage&) = delete;
    ThreadLanguage& operator=(const ThreadLanguage&) = delete;

private:
    LANGID m_previousUi;
    LCID m_previousLocale;
};

// Base fixture. A watchdog ends a modal loop that a failing test leaves
// running (by posting WM_QUIT) and fails the test; TearDown drops tasks that
// did not run and any WM_QUIT left in the queue.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace uitest
