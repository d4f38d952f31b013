#include "library_calls.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "import_hook.h"
#include "latchwire_device.h"

namespace latchwiretest {
namespace {

struct Recorded {
    std::mutex lock;
    std::vector<DeviceOpen> opens;
    std::vector<DeviceRequest> requests;
    std::vector<DWORD> sleeps;
    std::vector<SemaphoreWait> waits;
    std::vector<std::string> semaphores;
    int closes = 0;
    DWORD failCode = 0;
    int failNth = 0, seenOfFailCode = 0;
    bool failCloses = false;
} g;

DWORD ValueAt(DWORD address, DWORD bytes)
{
    DWORD value = 0;
    std::memcpy(&value, reinterpret_cast<const void*>(static_cast<ULONG_PTR>(address)), bytes < 4 ? bytes : 4);
    return value;
}

DWORD PortWidth(DWORD code)
{
    if (code == IOCTL_WRITE_PORT_UCHAR || code == IOCTL_READ_PORT_UCHAR) return 1;
    if (code == IOCTL_WRITE_PORT_USHORT || code == IOCTL_READ_PORT_USHORT) return 2;
    return 4;
}

bool IsPortWrite(DWORD code)
{
    return code == IOCTL_WRITE_PORT_UCHAR || code == IOCTL_WRITE_PORT_USHORT || code == IOCTL_WRITE_PORT_ULONG;
}

HANDLE WINAPI RecordCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile)
{
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.opens.push_back({path, access, share, disposition, flags, security != nullptr || templateFile != nullptr});
    }
    return CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI RecordDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                  LPDWORD returned, LPOVERLAPPED overlapped)
{
    DeviceRequest r{code, {}, 0, outSize, out != nullptr, overlapped != nullptr};
    r.words.resize(inSize / 4);
    if (inSize) std::memcpy(r.words.data(), in, r.words.size() * 4);
    if (IsPortWrite(code) && r.words.size() == 2) r.pointee = ValueAt(r.words[1], PortWidth(code));
    if (code == IOCTL_PCI_CONFIG_WRITE && r.words.size() == 7) r.pointee = ValueAt(r.words[5], r.words[6]);
    bool fail = false;
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.requests.push_back(r);
        fail = code == g.failCode && ++g.seenOfFailCode == g.failNth;
    }
    if (fail) return FALSE;
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

void WINAPI RecordSleep(DWORD milliseconds)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.sleeps.push_back(milliseconds);
}

DWORD WINAPI RecordWait(HANDLE handle, DWORD milliseconds)
{
    DWORD result = WaitForSingleObject(handle, milliseconds);
    std::lock_guard<std::mutex> hold(g.lock);
    if (milliseconds != 0) g.waits.push_back({milliseconds, result});
    return result;
}

HANDLE WINAPI RecordCreateSemaphore(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCSTR name)
{
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.semaphores.push_back(std::string(name ? name : "(none)") + " " + std::to_string(initial) + "/" +
                               std::to_string(maximum) + (security ? " +security" : ""));
    }
    return CreateSemaphoreA(security, initial, maximum, name);
}

BOOL WINAPI RecordClose(HANDLE handle)
{
    BOOL closed = CloseHandle(handle);
    std::lock_guard<std::mutex> hold(g.lock);
    ++g.closes;
    return g.failCloses ? FALSE : closed;
}

template <typename T>
std::vector<T> Copy(const std::vector<T>& v)
{
    std::lock_guard<std::mutex> hold(g.lock);
    return v;
}

}  // namespace

std::string DeviceRequest::Text() const
{
    char text[64] = "?";
    const bool port = words.size() == 2 && code != IOCTL_MAP_PHYSICAL;
    if (port && IsPortWrite(code)) {
        std::snprintf(text, sizeof text, "W%lu %lX=%lX", PortWidth(code), words[0], pointee);
    } else if (port) {
        std::snprintf(text, sizeof text, "R%lu %lX", PortWidth(code), words[0]);
    } else if (words.size() == 7) {
        int n = std::snprintf(text, sizeof text, "C%c %lu:%lX/%lX/%lX@%lXx%lu",
                              code == IOCTL_PCI_CONFIG_WRITE ? 'W' : 'R', words[0], words[1], words[2], words[3],
                              words[4], words[6]);
        if (code == IOCTL_PCI_CONFIG_WRITE) std::snprintf(text + n, sizeof text - n, "=%lX", pointee);
    }
    return text;
}

struct LibraryCalls::Hooks {
    HMODULE library = GetModuleHandleA("Latchwire.dll");
    testsupport::ImportHook open{library, "kernel32.dll", "CreateFileA", reinterpret_cast<void*>(RecordCreateFile)};
    testsupport::ImportHook control{library, "kernel32.dll", "DeviceIoControl",
                                    reinterpret_cast<void*>(RecordDeviceIoControl)};
    testsupport::ImportHook sleep{library, "kernel32.dll", "Sleep", reinterpret_cast<void*>(RecordSleep)};
    testsupport::ImportHook wait{library, "kernel32.dll", "WaitForSingleObject", reinterpret_cast<void*>(RecordWait)};
    testsupport::ImportHook semaphore{library, "kernel32.dll", "CreateSemaphoreA",
                                      reinterpret_cast<void*>(RecordCreateSemaphore)};
    testsupport::ImportHook close{library, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(RecordClose)};
};

LibraryCalls::LibraryCalls()
{
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.opens.clear(), g.requests.clear(), g.sleeps.clear(), g.waits.clear(), g.semaphores.clear();
        g.closes = 0, g.failCode = 0, g.failNth = 0, g.seenOfFailCode = 0, g.failCloses = false;
    }
    hooks_.reset(new Hooks);
}

LibraryCalls::~LibraryCalls() = default;

std::vector<DeviceOpen> LibraryCalls::Opens() const { return Copy(g.opens); }
std::vector<DeviceRequest> LibraryCalls::Requests() const { return Copy(g.requests); }
std::vector<DWORD> LibraryCalls::Sleeps() const { return Copy(g.sleeps); }
std::vector<SemaphoreWait> LibraryCalls::Waits() const { return Copy(g.waits); }
std::vector<std::string> LibraryCalls::SemaphoresOpened() const { return Copy(g.semaphores); }

std::vector<std::string> LibraryCalls::RequestTexts() const
{
    std::vector<std::string> texts;
    for (const DeviceRequest& r : Requests()) texts.push_back(r.Text());
    return texts;
}

int LibraryCalls::Closes() const
{
    std::lock_guard<std::mutex> hold(g.lock);
    return g.closes;
}

void LibraryCalls::FailRequest(DWORD code, int nth)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.failCode = code, g.failNth = nth, g.seenOfFailCode = 0;
}

void LibraryCalls::FailCloses()
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.failCloses = true;
}

}  // namespace latchwiretest
