// Drives Keyhaven.exe as a person and the keyboard component would: starts it
// with a command-line word, finds its dialog by title, reads and clicks its
// controls, sends Fn events, answers its message boxes, and reads the
// settings it keeps in the registry.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "keyhaven_identity.h"

namespace keyhavenremote {

// The English caption by which a second start finds the running instance.
constexpr const char* kKeyhavenTitle = KEYHAVEN_TITLE;
constexpr const char* kSettingsKey = KEYHAVEN_SETTINGS_KEY;

class KeyhavenProcess {
public:
    KeyhavenProcess() = default;
    ~KeyhavenProcess();  // ends the process if it still runs
    KeyhavenProcess(const KeyhavenProcess&) = delete;
    KeyhavenProcess& operator=(const KeyhavenProcess&) = delete;

    // Starts Keyhaven.exe [arguments] in its folder: the folder of this
    // program unless another is given.
    bool Start(const std::string& arguments = std::string(), const std::string& folder = std::string());
    // Starts the process with its first thread held, until Resume: several
    // starts then run from the same moment.
    bool StartHeld(const std::string& arguments);
    void Resume();
    // Waits until the process has ended; false on timeout.
    bool WaitForExit(DWORD milliseconds = 15000);
    bool IsRunning() const;
    DWORD ProcessId() const { return info_.dwProcessId; }

private:
    bool Launch(const std::string& arguments, const std::string& folder, DWORD flags);
    PROCESS_INFORMATION info_{};
};

// The folder of the running program, with a trailing backslash.
std::string ProgramFolder();

// The dialog of the running instance, found by its title (waiting up to the
// limit) once its initialisation has ended; with a process id, only that
// process's dialog counts.
HWND FindKeyhavenWindow(DWORD milliseconds = 15000, DWORD pid = 0);
// Waits until no window has the program's title; false on timeout.
bool WaitForNoKeyhavenWindow(DWORD milliseconds = 15000);
// Polls the condition until it holds; false when it did not in time.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 10000);
// Waits for the window to become visible or hidden.
bool WaitForVisibility(HWND dialog, bool visible, DWORD milliseconds = 10000);

bool IsChecked(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
int ListSelection(HWND dialog, int id);
// Sends a message and waits for its handler to return, up to the limit;
// false (after saying which message was not handled) when it did not return.
bool Deliver(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD milliseconds = 10000);
// Clicks a button or check box as a person would (the handler has run on
// return); false when the handler did not return within 10 s.
bool Click(HWND dialog, int id);
void SelectListItem(HWND dialog, int id, int index);

// A visible dialog box of process pid that holds control controlId, or NULL
// when none appears in time.
HWND WaitForDialog(DWORD pid, int controlId, DWORD milliseconds = 15000);
// A message box shown by process pid: its text, or "" when none appears in time.
std::string WaitForMessageBox(DWORD pid, HWND* box, DWORD milliseconds = 15000);
// Presses the message box's OK button.
void PressOk(HWND box);
// Waits for a message box of process pid, presses OK and returns its text
// ("" when none appeared).
std::string AnswerMessageBox(DWORD pid);

// Registry: the per-user settings key.
void DeleteSettings();
bool SettingsKeyExists();
bool ReadSetting(const char* name, DWORD* value);
std::string ReadTextSetting(const char* name);
void WriteSetting(const char* name, DWORD value);
// Waits until a DWORD setting holds the value (an apply has saved it).
bool WaitForSetting(const char* name, DWORD expected, DWORD milliseconds = 15000);
void WriteTextSetting(const char* name, const std::string& text);
void WriteRawSetting(const char* name, DWORD type, const void* data, DWORD size);

}  // namespace keyhavenremote
