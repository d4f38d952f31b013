// The folder of the running program, with a trailing backslash: where the
// tools, the tests and the driver file sit beside each other.
#pragma once

#include <windows.h>

#include <string>

namespace programfolder {

inline std::string Narrow()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string exe(path, length);
    return exe.substr(0, exe.find_last_of("\\/") + 1);
}

inline std::wstring Wide()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, length);
    return exe.substr(0, exe.find_last_of(L"\\/") + 1);
}

// Where the kernel drivers for this Windows sit: beside the program on 32-bit
// Windows; in its x64 folder when the program runs under WOW64 on 64-bit Windows.
inline std::string DriverFolder()
{
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    return Narrow() + (wow64 ? "x64\\" : "");
}

}  // namespace programfolder
