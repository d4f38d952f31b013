// The kernel-driver service of an x64 driver, for 32-bit tools and tests run under
// WOW64 in a 64-bit Wine prefix.
//
// Windows loads every kernel driver natively, whoever created its service. Wine's
// service manager does not: a service that a 32-bit process creates is marked as a
// WOW64 one, and Wine hosts such a driver in its 32-bit driver process, which cannot
// load an x64 image. So under WOW64 the service is created first by the native
// sc.exe (reached through Sysnative); Check_Driver then finds it installed, and the
// caller starts it. On 32-bit Windows nothing is done here.
#pragma once

#include <windows.h>

#include <string>

namespace nativeservice {

inline bool RunningUnderWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

inline bool ServiceExists(const char* name)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

// Under WOW64, creates the demand-start kernel-driver service name -> path with the
// native sc.exe unless it exists; true when there is nothing to do or it was created.
inline bool PrepareDriverService(const char* name, const std::string& path)
{
    if (!RunningUnderWow64() || ServiceExists(name)) return true;
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::string command = std::string("\"") + windows + "\\Sysnative\\sc.exe\" create " + name +
                          " type= kernel start= demand binPath= \"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ServiceExists(name);
}

// Starts a service that Check_Driver found installed (and so left as it was).
inline bool StartDriverService(const char* name)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_START);
    bool started = service && (StartServiceA(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return started;
}

}  // namespace nativeservice
