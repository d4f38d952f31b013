#include "library_calls.h"

#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "driver_environment.h"
#include "import_hook.h"
#include "latchwire_device.h"

namespace latchwiretest {
namespace {

// Every program that records the library's calls runs against the virtual notebook, installed once.
const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

struct State {
    std::mutex lock;
    Recorded recorded;
    DWORD failCode = 0;
    int failNth = 0, seen = 0;
    bool failCloses = false;
    struct Replacement {
        DWORD code;
        int nth;
        DWORD value;
    };
    std::vector<Replacement> replacements;
    std::map<DWORD, int> requestsOfCode;
    int beforeNth = 0;
    std::function<void()> before;
    int holdAfterMutexNth = 0, mutexReleasesSeen = 0;
    HANDLE mutexHoldRelease = nullptr;
    std::set<HANDLE> semaphores;
    std::atomic<int> lockWaitsBegun{0};
} g;

DWORD Width(DWORD code)
{
    return code == IOCTL_WRITE_PORT_UCHAR || code == IOCTL_READ_PORT_UCHAR     ? 1
           : code == IOCTL_WRITE_PORT_USHORT || code == IOCTL_READ_PORT_USHORT ? 2
                                                                                : 4;
}

bool IsPortWrite(DWORD code)
{
    return code == IOCTL_WRITE_PORT_UCHAR || code == IOCTL_WRITE_PORT_USHORT || code == IOCTL_WRITE_PORT_ULONG;
}

DWORD ValueAt(DWORD address, DWORD bytes)
{
    DWORD value = 0;
    std::memcpy(&value, reinterpret_cast<const void*>(static_cast<ULONG_PTR>(address)), bytes < 4 ? bytes : 4);
    return value;
}

HANDLE WINAPI OnCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                           DWORD flags, HANDLE templ)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.recorded.opens.push_back({path, access, share, disposition, flags, sa != nullptr || templ != nullptr});
    return CreateFileA(path, access, share, sa, disposition, flags, templ);
}

BOOL WINAPI OnDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                              LPDWORD returned, LPOVERLAPPED overlapped)
{
    DeviceRequest r{code, std::vector<DWORD>(inSize / 4), 0, outSize, out != nullptr, overlapped != nullptr};
    if (inSize) std::memcpy(r.words.data(), in, r.words.size() * 4);
    if (IsPortWrite(code) && r.words.size() == 2) r.pointee = ValueAt(r.words[1], Width(code));
    if (code == IOCTL_PCI_CONFIG_WRITE && r.words.size() == 7) r.pointee = ValueAt(r.words[5], r.words[6]);
    std::function<void()> before;
    DWORD replacement = 0;
    bool replace = false;
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.recorded.requests.push_back(r);
        const int n = ++g.requestsOfCode[code];
        for (const State::Replacement& k : g.replacements) {
            if (k.code == code && k.nth == n) replace = true, replacement = k.value;
        }
        if (code == g.failCode && ++g.seen == g.failNth) return FALSE;
        if (static_cast<int>(g.recorded.requests.size()) == g.beforeNth) before = g.before;
    }
    if (before) before();
    BOOL done = DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    if (done && replace && r.words.size() >= 2) {
        const bool pci = r.words.size() == 7;
        void* data = reinterpret_cast<void*>(static_cast<ULONG_PTR>(pci ? r.words[5] : r.words[1]));
        std::memcpy(data, &replacement, pci ? r.words[6] : Width(code));
    }
    return done;
}

void WINAPI OnSleep(DWORD milliseconds)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.recorded.sleeps.push_back(milliseconds);
}

bool IsSemaphore(HANDLE handle)
{
    std::lock_guard<std::mutex> hold(g.lock);
    return g.semaphores.count(handle) != 0;
}

DWORD WINAPI OnWait(HANDLE handle, DWORD milliseconds)
{
    const bool semaphore = IsSemaphore(handle);
    if (!semaphore) ++g.lockWaitsBegun;
    DWORD result = WaitForSingleObject(handle, milliseconds);
    std::lock_guard<std::mutex> hold(g.lock);
    if (!semaphore) g.recorded.lockWaits.push_back({milliseconds, result});
    else if (milliseconds != 0) g.recorded.waits.push_back({milliseconds, result});
    return result;
}

HANDLE WINAPI OnCreateSemaphore(LPSECURITY_ATTRIBUTES sa, LONG initial, LONG maximum, LPCSTR name)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.recorded.semaphores.push_back(std::string(name ? name : "(none)") + " " + std::to_string(initial) + "/" +
                                    std::to_string(maximum) + (sa ? " +security" : ""));
    HANDLE semaphore = CreateSemaphoreA(sa, initial, maximum, name);
    g.semaphores.insert(semaphore);
    return semaphore;
}

// The handle leaves the set before it is closed: once closed, another
// thread's semaphore may get the same value.
BOOL WINAPI OnReleaseMutex(HANDLE mutex)
{
    BOOL released = ReleaseMutex(mutex);
    HANDLE wait = nullptr;
    {
        std::lock_guard<std::mutex> hold(g.lock);
        ++g.recorded.mutexReleases;
        if (++g.mutexReleasesSeen == g.holdAfterMutexNth) wait = g.mutexHoldRelease;
    }
    if (wait != nullptr && WaitForSingleObject(wait, 20000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the exchange held after giving its lock back was not released in 20 s";
    }
    return released;
}

BOOL WINAPI OnClose(HANDLE handle)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.semaphores.erase(handle);
    BOOL closed = CloseHandle(handle);
    ++g.recorded.closes;
    return g.failCloses ? FALSE : closed;
}

}  // namespace

std::string DeviceRequest::Text() const
{
    char text[64] = "?";
    if (words.size() == 2 && code != IOCTL_MAP_PHYSICAL) {
        std::snprintf(text, sizeof text, IsPortWrite(code) ? "W%lu %lX=%lX" : "R%lu %lX", Width(code), words[0],
                      pointee);
    } else if (words.size() == 7) {
        const bool write = code == IOCTL_PCI_CONFIG_WRITE;
        std::snprintf(text, sizeof text, write ? "CW %lu:%lX/%lX/%lX@%lXx%lu=%lX" : "CR %lu:%lX/%lX/%lX@%lXx%lu",
                      words[0], words[1], words[2], words[3], words[4], words[6], pointee);
    }
    return text;
}

std::vector<std::string> Recorded::RequestTexts() const
{
    std::vector<std::string> texts;
    for (const DeviceRequest& r : requests) texts.push_back(r.Text());
    return texts;
}

struct LibraryCalls::Hooks {
    HMODULE dll = GetModuleHandleA("Latchwire.dll");
    testsupport::ImportHook hooks[7] = {
        {dll, "kernel32.dll", "CreateFileA", reinterpret_cast<void*>(OnCreateFile)},
        {dll, "kernel32.dll", "DeviceIoControl", reinterpret_cast<void*>(OnDeviceIoControl)},
        {dll, "kernel32.dll", "Sleep", reinterpret_cast<void*>(OnSleep)},
        {dll, "kernel32.dll", "WaitForSingleObject", reinterpret_cast<void*>(OnWait)},
        {dll, "kernel32.dll", "CreateSemaphoreA", reinterpret_cast<void*>(OnCreateSemaphore)},
        {dll, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(OnClose)},
        {dll, "kernel32.dll", "ReleaseMutex", reinterpret_cast<void*>(OnReleaseMutex)}};
};

LibraryCalls::LibraryCalls()
{
    {
        std::lock_guard<std::mutex> hold(g.lock);
        g.recorded = Recorded();
        g.failCode = 0, g.failNth = 0, g.seen = 0, g.failCloses = false;
        g.beforeNth = 0, g.before = nullptr;
        g.replacements.clear(), g.requestsOfCode.clear();
        g.lockWaitsBegun = 0;
        g.holdAfterMutexNth = 0, g.mutexReleasesSeen = 0, g.mutexHoldRelease = nullptr;
    }
    hooks_.reset(new Hooks);
}

LibraryCalls::~LibraryCalls() = default;

Recorded LibraryCalls::Get() const
{
    std::lock_guard<std::mutex> hold(g.lock);
    return g.recorded;
}

void LibraryCalls::FailRequest(DWORD code, int nth)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.failCode = code, g.failNth = nth, g.seen = 0;
}

void LibraryCalls::ReplaceRead(DWORD code, int nth, DWORD value)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.replacements.push_back({code, nth, value});
}

void LibraryCalls::BeforeRequest(int nth, std::function<void()> action)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.beforeNth = nth, g.before = std::move(action);
}

void LibraryCalls::FailCloses()
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.failCloses = true;
}

void LibraryCalls::HoldAfterMutexRelease(int nth, HANDLE release)
{
    std::lock_guard<std::mutex> hold(g.lock);
    g.holdAfterMutexNth = nth, g.mutexReleasesSeen = 0, g.mutexHoldRelease = release;
}

int LibraryCalls::LockWaitsBegun() const
{
    return g.lockWaitsBegun;
}

}  // namespace latchwiretest
