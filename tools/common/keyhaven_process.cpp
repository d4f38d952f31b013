#include "keyhaven_process.h"

#include <cstdio>
#include <cstring>

#include "program_folder.h"

namespace keyhavenremote {
namespace {

HWND Control(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

constexpr int kMessageBoxTextId = 0xFFFF;

struct DialogSearch {
    DWORD pid;
    int controlId;
    HWND found;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (pid == search->pid && lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetDlgItem(window, search->controlId) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string ProgramFolder()
{
    return programfolder::Narrow();
}

KeyhavenProcess::~KeyhavenProcess()
{
    if (info_.hProcess == nullptr) return;
    if (IsRunning()) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool KeyhavenProcess::Start(const std::string& arguments, const std::string& programFolder)
{
    return Launch(arguments, programFolder, 0);
}

bool KeyhavenProcess::StartHeld(const std::string& arguments)
{
    return Launch(arguments, std::string(), CREATE_SUSPENDED);
}

void KeyhavenProcess::Resume()
{
    ResumeThread(info_.hThread);
}

bool KeyhavenProcess::Launch(const std::string& arguments, const std::string& programFolder, DWORD flags)
{
    std::string folder = programFolder.empty() ? ProgramFolder() : programFolder;
    if (folder.back() != '\\') folder += '\\';
    std::string command = "\"" + folder + "Keyhaven.exe\"";
    if (!arguments.empty()) command += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, flags, nullptr, folder.c_str(), &startup,
                          &info_) != 0;
}

bool KeyhavenProcess::WaitForExit(DWORD milliseconds)
{
    return WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

bool KeyhavenProcess::IsRunning() const
{
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND FindKeyhavenWindow(DWORD milliseconds, DWORD pid)
{
    const DWORD start = GetTickCount();
    do {
        for (HWND window = FindWindowExA(nullptr, nullptr, nullptr, kKeyhavenTitle); window != nullptr;
             window = FindWindowExA(nullptr, window, nullptr, kKeyhavenTitle)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (pid != 0 && owner != pid) continue;
            // The caption is set part-way through the dialog's initialisation:
            // a sent message is taken only once that has finished.
            DWORD_PTR ignored;
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds, &ignored);
            return window;
        }
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

bool WaitForNoKeyhavenWindow(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (FindWindowA(nullptr, kKeyhavenTitle) != nullptr) {
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(50);
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(50);
    }
    return true;
}

bool WaitForVisibility(HWND dialog, bool visible, DWORD milliseconds)
{
    return WaitUntil([&] { return (IsWindowVisible(dialog) != 0) == visible; }, milliseconds);
}

bool IsChecked(HWND dialog, int id)
{
    return SendMessageA(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(Control(dialog, id)) != 0;
}

int ListSelection(HWND dialog, int id)
{
    return static_cast<int>(SendMessageA(Control(dialog, id), CB_GETCURSEL, 0, 0));
}

bool Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD milliseconds)
{
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, milliseconds, &result)) return true;
    std::fprintf(stderr, "message 0x%X to window %p: not handled within %lu ms\n", message,
                 static_cast<void*>(window), milliseconds);
    return false;
}

bool Click(HWND dialog, int id)
{
    // BM_CLICK's WM_COMMAND may be posted: a sent message behind it waits for it.
    return Deliver(Control(dialog, id), BM_CLICK) && Deliver(dialog, WM_NULL);
}

void SelectListItem(HWND dialog, int id, int index)
{
    HWND list = Control(dialog, id);
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

HWND WaitForDialog(DWORD pid, int controlId, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        DialogSearch search{pid, controlId, nullptr};
        EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

std::string WaitForMessageBox(DWORD pid, HWND* box, DWORD milliseconds)
{
    *box = WaitForDialog(pid, kMessageBoxTextId, milliseconds);
    if (*box == nullptr) return std::string();
    char text[256] = "";
    GetDlgItemTextA(*box, kMessageBoxTextId, text, sizeof text);
    return text;
}

void PressOk(HWND box)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

std::string AnswerMessageBox(DWORD pid)
{
    HWND box = nullptr;
    std::string text = WaitForMessageBox(pid, &box);
    if (box != nullptr) PressOk(box);
    return text;
}

void DeleteSettings()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
}

bool SettingsKeyExists()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

namespace {

// The value's raw data and type; false when the key or the value is missing.
bool ReadRaw(const char* name, DWORD* type, std::string* data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[256];
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    data->assign(buffer, size);
    return true;
}

}  // namespace

bool ReadSetting(const char* name, DWORD* value)
{
    DWORD type = 0;
    std::string data;
    if (!ReadRaw(name, &type, &data) || type != REG_DWORD || data.size() != sizeof *value) return false;
    std::memcpy(value, data.data(), sizeof *value);
    return true;
}

std::string ReadTextSetting(const char* name)
{
    DWORD type = 0;
    std::string data;
    if (!ReadRaw(name, &type, &data) || type != REG_SZ) return "<missing>";
    if (data.empty() || data.back() != '\0') return data + "<no NUL>";
    data.pop_back();
    return data;
}

void WriteRawSetting(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

bool WaitForSetting(const char* name, DWORD expected, DWORD milliseconds)
{
    return WaitUntil(
        [&] {
            DWORD value = 0;
            return ReadSetting(name, &value) && value == expected;
        },
        milliseconds);
}

void WriteSetting(const char* name, DWORD value)
{
    WriteRawSetting(name, REG_DWORD, &value, sizeof value);
}

void WriteTextSetting(const char* name, const std::string& text)
{
    WriteRawSetting(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

}  // namespace keyhavenremote
