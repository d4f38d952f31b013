#include "library_calls.h"

#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>
#include <map>
#include <set>

#include "driver_environment.h"
#include "import_hook.h"
#include "latchwire_device.h"

namespace latchwiretest {
namespace {

// Every program that records the library's calls runs against the virtual notebook, installed once.
const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

// What one LibraryCalls records and is told to do; made anew for each.
struct Plan {
    Recorded recorded;
    std::map<std::pair<DWORD, int>, std::pair<bool, DWORD>> changes;  // (code, nth): (fails, value read)
    std::map<DWORD, int> requestsOfCode;
    bool failCloses = false;
    int beforeNth = 0;
    std::function<void()> before;
    int holdAfterMutexNth = 0;
    HANDLE mutexHoldRelease = nullptr;
    std::set<HANDLE> semaphores;
};

std::mutex g_lock;
Plan g;
std::atomic<int> g_lockWaitsBegun{0};

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

void* At(DWORD address)
{
    return reinterpret_cast<void*>(static_cast<ULONG_PTR>(address));
}

DWORD ValueAt(DWORD address, DWORD bytes)
{
    DWORD value = 0;
    std::memcpy(&value, At(address), bytes < 4 ? bytes : 4);
    return value;
}

HANDLE WINAPI OnCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                           DWORD flags, HANDLE templ)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g.recorded.opens.push_back({path, access, share, disposition, flags, sa != nullptr || templ != nullptr});
    return CreateFileA(path, access, share, sa, disposition, flags, templ);
}

BOOL WINAPI OnDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                              LPDWORD returned, LPOVERLAPPED overlapped)
{
    DeviceRequest r{code, std::vector<DWORD>(inSize / 4), 0, outSize, out != nullptr, overlapped != nullptr};
    if (inSize) std::memcpy(r.words.data(), in, r.words.size() * 4);
    const bool pci = r.words.size() == 7;
    if (IsPortWrite(code) && r.words.size() == 2) r.pointee = ValueAt(r.words[1], Width(code));
    if (code == IOCTL_PCI_CONFIG_WRITE && pci) r.pointee = ValueAt(r.words[5], r.words[6]);
    std::function<void()> before;
    std::pair<bool, DWORD> change(false, 0);
    bool changed = false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g.recorded.requests.push_back(r);
        const auto found = g.changes.find({code, ++g.requestsOfCode[code]});
        if (found != g.changes.end()) changed = true, change = found->second;
        if (changed && change.first) return FALSE;
        if (static_cast<int>(g.recorded.requests.size()) == g.beforeNth) before = g.before;
    }
    if (before) before();
    BOOL done = DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    if (done && changed && r.words.size() >= 2) {
        std::memcpy(At(pci ? r.words[5] : r.words[1]), &change.second, pci ? r.words[6] : Width(code));
    }
    return done;
}

void WINAPI OnSleep(DWORD milliseconds)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g.recorded.sleeps.push_back(milliseconds);
}

bool IsSemaphore(HANDLE handle)
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g.semaphores.count(handle) != 0;
}

DWORD WINAPI OnWait(HANDLE handle, DWORD milliseconds)
{
    const bool semaphore = IsSemaphore(handle);
    if (!semaphore) ++g_lockWaitsBegun;
    DWORD result = WaitForSingleObject(handle, milliseconds);
    std::lock_guard<std::mutex> hold(g_lock);
    if (!semaphore) g.recorded.lockWaits.push_back({milliseconds, result});
    else if (milliseconds != 0) g.recorded.waits.push_back({milliseconds, result});
    return result;
}

HANDLE WINAPI OnCreateSemaphore(LPSECURITY_ATTRIBUTES sa, LONG initial, LONG maximum, LPCSTR name)
{
    std::lock_guard<std::mutex> hold(g_lock);
    HANDLE semaphore = CreateSemaphoreA(sa, initial, maximum, name);
    g.semaphores.insert(semaphore);
    return semaphore;
}

BOOL WINAPI OnReleaseMutex(HANDLE mutex)
{
    BOOL released = ReleaseMutex(mutex);
    HANDLE wait = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (++g.recorded.mutexReleases == g.holdAfterMutexNth) wait = g.mutexHoldRelease;
    }
    if (wait != nullptr && WaitForSingleObject(wait, 20000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the exchange held after giving its lock back was not released in 20 s";
    }
    return released;
}

// The handle leaves the set before it is closed: once closed, another
// thread's semaphore may get the same value.
BOOL WINAPI OnClose(HANDLE handle)
{
    std::lock_guard<std::mutex> hold(g_lock);
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
        std::lock_guard<std::mutex> hold(g_lock);
        g = Plan();
        g_lockWaitsBegun = 0;
    }
    hooks_.reset(new Hooks);
}

LibraryCalls::~LibraryCalls() = default;

Recorded LibraryCalls::Get() const
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g.recorded;
}

void LibraryCalls::Change(DWORD code, int nth, bool fails, DWORD value)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g.changes[{code, nth}] = {fails, value};
}

void LibraryCalls::BeforeRequest(int nth, std::function<void()> action)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g.beforeNth = nth, g.before = std::move(action);
}

void LibraryCalls::FailCloses()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g.failCloses = true;
}

void LibraryCalls::HoldAfterMutexRelease(int nth, HANDLE release)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g.holdAfterMutexNth = g.recorded.mutexReleases + nth, g.mutexHoldRelease = release;
}

int LibraryCalls::LockWaitsBegun() const
{
    return g_lockWaitsBegun;
}

std::vector<std::string> EcBytes(uint32_t n)
{
    const VnSnapshot s = testsupport::VirtualNotebook::State();
    const uint32_t kept = s.ecLogCount < VN_EC_LOG_SIZE ? s.ecLogCount : VN_EC_LOG_SIZE;
    std::vector<std::string> bytes;
    for (uint32_t i = kept >= n ? kept - n : 0; i < kept; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, s.ecLog[i].isCommand ? "C%02X" : "D%02X", s.ecLog[i].value);
        bytes.push_back(word);
    }
    return bytes;
}

std::string ChipsetName(const ::testing::TestParamInfo<uint32_t>& info)
{
    return info.param == VN_CHIPSET_FIRST ? "First" : "Second";
}

}  // namespace latchwiretest
