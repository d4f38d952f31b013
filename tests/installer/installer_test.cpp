// The installer under Wine: a silent install puts the program, the library,
// the sounds and the Latchwire driver (its service running) in place with the
// version value and a Start-menu entry; the About box of the installed program
// shows that version; the uninstaller ends a running instance and leaves
// nothing behind. /KEEPDRIVER leaves the notebook's own driver alone.
// In a 64-bit prefix (the same 32-bit test under WOW64) the driver is the x64
// one, in the native System32\drivers, and nothing lands in the 32-bit one.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>

#include "keyhaven_process.h"
#include "native_driver_service.h"
#include "resource.h"

using namespace keyhavenremote;

namespace {

const char* const kInstalledFiles[] = {"Keyhaven.exe", "Latchwire.dll", "keyTmpLock.wav",
                                       "keyLock.wav",  "keyUnlock.wav", "Disable.wav"};
const char kVersionKey[] = "Software\\ORVENTA\\Accessibility";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ORVENTA Fn-StickyKey";

std::string Folder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

std::string InstallFolder()
{
    return Folder(CSIDL_PROGRAM_FILES) + "\\ORVENTA\\Accessibility";
}

std::string Shortcut()
{
    return Folder(CSIDL_COMMON_PROGRAMS) + "\\ORVENTA\\Fn-StickyKey.lnk";
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A setup or an uninstall takes seconds; one still running after this has hung.
const DWORD kCommandBoundMs = 30000;

// Waits until every process that the given process started has ended (an
// uninstaller hands its work to a copy of itself and returns at once).
bool WaitForChildrenOf(DWORD parent, DWORD milliseconds)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    bool ended = true;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parent) continue;
        HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (child == nullptr) continue;  // already gone
        ended = WaitForSingleObject(child, milliseconds) == WAIT_OBJECT_0 && ended;
        CloseHandle(child);
    }
    CloseHandle(snapshot);
    return ended;
}

// Runs a command, waits for it and for everything it started; its exit code.
DWORD RunAndWait(std::string command, const std::string& folder = std::string())
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        return 0xFFFFFFFF;
    }
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.hProcess, kCommandBoundMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        ADD_FAILURE() << command << " did not end in 30 s";
        TerminateProcess(process.hProcess, WAIT_TIMEOUT);
    }
    if (!WaitForChildrenOf(process.dwProcessId, kCommandBoundMs)) {
        ADD_FAILURE() << "what " << command << " started did not end in 30 s";
        code = WAIT_TIMEOUT;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string MachineVersion()
{
    char text[64] = "";
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kVersionKey, "version", RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    return text;
}

const char kDriverService[] = "Latchwire";

std::string WindowsFolder()
{
    char path[MAX_PATH] = "";
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

// Where the installed driver must be: the system's own driver folder (under WOW64
// the native one, which a 32-bit process reaches through Sysnative).
std::string DriverFile()
{
    if (nativeservice::RunningUnderWow64()) return WindowsFolder() + "\\Sysnative\\drivers\\latchwire.sys";
    return Folder(CSIDL_SYSTEM) + "\\drivers\\latchwire.sys";
}

// The 32-bit system's driver folder of 64-bit Windows (SysWOW64), where no driver belongs.
std::string Wow64DriverFile()
{
    return WindowsFolder() + "\\SysWOW64\\drivers\\latchwire.sys";
}

// IMAGE_FILE_HEADER.Machine of a PE file, 0 when it cannot be read.
unsigned ImageMachine(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    unsigned char head[4096] = {};
    DWORD got = 0;
    ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    if (got < 0x40) return 0;
    DWORD pe = *reinterpret_cast<DWORD*>(head + 0x3C);
    if (pe + 6 > got || std::memcmp(head + pe, "PE\0\0", 4) != 0) return 0;
    return head[pe + 4] | (head[pe + 5] << 8);
}

bool DeviceOpens()
{
    HANDLE device = CreateFileA("\\\\.\\Latchwire", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    CloseHandle(device);
    return true;
}

// The state of the driver's service, or 0 when there is no such service.
DWORD DriverServiceState()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, kDriverService, SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    if (service == nullptr || !QueryServiceStatus(service, &status)) status.dwCurrentState = 0;
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return status.dwCurrentState;
}

bool KeyExists(const char* key)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// The version line of the installed program's About box.
std::string AboutVersionLine(KeyhavenProcess& program, HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = WaitForDialog(program.ProcessId(), IDC_VERSION_TEXT);
    if (about == nullptr) return "<no About box>";
    char text[128] = "";
    GetDlgItemTextA(about, IDC_VERSION_TEXT, text, sizeof text);
    PressOk(about);
    return text;
}

TEST(Installer, InstallsShowsTheVersionAndUninstallsWithoutATrace)
{
    const std::string setup = ProgramFolder() + "FnStickyKeySetup.exe";
    ASSERT_TRUE(Exists(setup)) << setup;
    ASSERT_FALSE(Exists(InstallFolder())) << "a clean machine to start with";
    const bool x64 = nativeservice::RunningUnderWow64();
    // Wine's service manager hosts a driver whose service a 32-bit process created in
    // its 32-bit driver process (Windows loads every driver natively): there the
    // service is made natively first, Check_Driver finds it, and it is started here.
    if (x64) {
        ASSERT_TRUE(nativeservice::PrepareDriverService(kDriverService,
                                                        WindowsFolder() + "\\system32\\drivers\\latchwire.sys"));
    }

    ASSERT_EQ(0u, RunAndWait("\"" + setup + "\" /S"));
    for (const char* file : kInstalledFiles) EXPECT_TRUE(Exists(InstallFolder() + "\\" + file)) << file;
    EXPECT_TRUE(Exists(InstallFolder() + "\\Uninstall.exe"));
    EXPECT_TRUE(Exists(Shortcut()));
    EXPECT_EQ("1.28", MachineVersion());
    EXPECT_TRUE(KeyExists(kUninstallKey));
    EXPECT_TRUE(Exists(DriverFile()));
    EXPECT_EQ(x64 ? 0x8664u : 0x14Cu, ImageMachine(DriverFile())) << "the driver for this Windows";
    if (x64) {
        EXPECT_FALSE(Exists(Wow64DriverFile())) << "the x64 driver went to the native folder";
        EXPECT_TRUE(nativeservice::StartDriverService(kDriverService));
    }
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), DriverServiceState()) << "installed with Check_Driver";
    EXPECT_TRUE(DeviceOpens()) << "the driver loaded and serves \\\\.\\Latchwire";

    // The installed program, started as from the Start menu, shows the version.
    KeyhavenProcess program;
    ASSERT_TRUE(program.Start(std::string(), InstallFolder()));
    HWND dialog = FindKeyhavenWindow(15000, program.ProcessId());
    ASSERT_NE(nullptr, dialog);
    const std::string line = AboutVersionLine(program, dialog);
    EXPECT_EQ(" 1.28", line.substr(line.size() >= 5 ? line.size() - 5 : 0)) << line;
    EXPECT_GT(line.size(), 5u) << "the localised prefix comes first";

    // Uninstalling ends the running instance ("Close") and removes everything.
    ASSERT_EQ(0u, RunAndWait("\"" + InstallFolder() + "\\Uninstall.exe\" /S"));
    EXPECT_TRUE(program.WaitForExit(10000)) << "the running instance was asked to close";
    EXPECT_FALSE(Exists(InstallFolder()));
    EXPECT_FALSE(Exists(Folder(CSIDL_PROGRAM_FILES) + "\\ORVENTA"));
    EXPECT_FALSE(Exists(Shortcut()));
    EXPECT_FALSE(Exists(Folder(CSIDL_COMMON_PROGRAMS) + "\\ORVENTA"));
    EXPECT_FALSE(KeyExists(kVersionKey));
    EXPECT_FALSE(KeyExists("Software\\ORVENTA"));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(Exists(DriverFile()));
    EXPECT_EQ(0u, DriverServiceState()) << "removed with UnloadDriver";
}

TEST(Installer, KeepDriverLeavesTheNotebooksOwnDriverAlone)
{
    const std::string setup = ProgramFolder() + "FnStickyKeySetup.exe";
    ASSERT_EQ(0u, RunAndWait("\"" + setup + "\" /S /KEEPDRIVER"));
    EXPECT_TRUE(Exists(InstallFolder() + "\\Latchwire.dll"));
    EXPECT_FALSE(Exists(DriverFile()));
    EXPECT_EQ(0u, DriverServiceState());

    ASSERT_EQ(0u, RunAndWait("\"" + InstallFolder() + "\\Uninstall.exe\" /S"));
    EXPECT_FALSE(Exists(InstallFolder()));
}

}  // namespace
