// Check_Driver and UnloadDriver against the platform's service control
// manager, from every starting state of the service. Every service-manager
// call the library makes is recorded with its arguments through its imports;
// failures the manager cannot be driven into are forced there.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "debug_output_capture.h"
#include "import_hook.h"
#include "latchwire.h"
#include "vnotebook_client.h"

using debugoutput::TraceCapture;
using testsupport::ImportHook;
using Messages = std::vector<std::string>;

namespace {

const char* const kService = vnotebook::kDriverServiceName;

// ---- The library's service-manager calls, as one word each ----
// A word gets "!" when the call failed and "[args]" when any argument is not
// the documented one.
struct Fault {
    std::string call;  // empty: none
    int nth;           // 0: every call
    DWORD error;
    bool realCallFirst;  // the call is made, then reported as failed
};

struct Recorder {
    Messages log;
    std::set<SC_HANDLE> managers, services;
    std::map<std::string, int> counts;
    Fault fault;
    std::string path;
} g;

bool Str(const char* a, const char* b) { return a != nullptr && b != nullptr && std::string(a) == b; }

// Makes the real call, or fails it as the fault says (after making it, where
// asked), and logs its word; the call's error code is kept for the library.
template <typename Result, typename Call>
Result Hooked(const char* name, bool argsOk, Call real)
{
    const int n = ++g.counts[name];
    Result result{};
    if (g.fault.call == name && (g.fault.nth == 0 || g.fault.nth == n)) {
        if (g.fault.realCallFirst) real();
        SetLastError(g.fault.error);
    } else {
        result = real();
    }
    const DWORD error = GetLastError();
    g.log.push_back(name + std::string(argsOk ? "" : "[args]") + (result ? "" : "!"));
    SetLastError(error);
    return result;
}

SC_HANDLE Keep(std::set<SC_HANDLE>& handles, SC_HANDLE h)
{
    if (h) handles.insert(h);
    return h;
}

SC_HANDLE WINAPI OnOpenManager(LPCSTR machine, LPCSTR database, DWORD access)
{
    return Keep(g.managers, Hooked<SC_HANDLE>("mgr", !machine && !database && access == SC_MANAGER_ALL_ACCESS,
                                              [&] { return OpenSCManagerA(machine, database, access); }));
}

SC_HANDLE WINAPI OnOpenService(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    const bool argsOk = g.managers.count(manager) && Str(name, kService) && access == SERVICE_ALL_ACCESS;
    return Keep(g.services, Hooked<SC_HANDLE>("open", argsOk, [&] { return OpenServiceA(manager, name, access); }));
}

SC_HANDLE WINAPI OnCreate(SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access, DWORD type, DWORD start,
                          DWORD errorControl, LPCSTR path, LPCSTR group, LPDWORD tag, LPCSTR dependencies,
                          LPCSTR account, LPCSTR password)
{
    const bool argsOk = g.managers.count(manager) && Str(name, kService) && Str(display, kService) &&
                        access == SERVICE_ALL_ACCESS && type == SERVICE_KERNEL_DRIVER &&
                        start == SERVICE_DEMAND_START && errorControl == SERVICE_ERROR_NORMAL &&
                        Str(path, g.path.c_str()) && !group && !tag && !dependencies && !account && !password;
    return Keep(g.services, Hooked<SC_HANDLE>("create", argsOk, [&] {
                    return CreateServiceA(manager, name, display, access, type, start, errorControl, path, group,
                                          tag, dependencies, account, password);
                }));
}

BOOL WINAPI OnClose(SC_HANDLE h)
{
    const bool manager = g.managers.erase(h) != 0, service = g.services.erase(h) != 0;
    BOOL closed = CloseServiceHandle(h);
    g.log.push_back(std::string(manager ? "close mgr" : "close svc") + (manager || service ? "" : "[args]") +
                    (closed ? "" : "!"));
    return closed;
}

BOOL WINAPI OnControl(SC_HANDLE h, DWORD control, LPSERVICE_STATUS status)
{
    return Hooked<BOOL>("stop", g.services.count(h) && control == SERVICE_CONTROL_STOP && status,
                        [&] { return ControlService(h, control, status); });
}

BOOL WINAPI OnDelete(SC_HANDLE h)
{
    return Hooked<BOOL>("delete", g.services.count(h) != 0, [&] { return DeleteService(h); });
}

BOOL WINAPI OnStart(SC_HANDLE h, DWORD argc, LPCSTR* argv)
{
    return Hooked<BOOL>("start", g.services.count(h) && argc == 0 && !argv,
                        [&] { return StartServiceA(h, argc, argv); });
}

BOOL WINAPI OnChange(SC_HANDLE h, DWORD type, DWORD start, DWORD errorControl, LPCSTR path, LPCSTR group,
                     LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password, LPCSTR display)
{
    const bool argsOk = g.services.count(h) && type == SERVICE_KERNEL_DRIVER && start == SERVICE_SYSTEM_START &&
                        errorControl == SERVICE_ERROR_NORMAL && !path && !group && !tag && !dependencies &&
                        !account && !password && Str(display, kService);
    return Hooked<BOOL>("config", argsOk, [&] {
        return ChangeServiceConfigA(h, type, start, errorControl, path, group, tag, dependencies, account, password,
                                    display);
    });
}

class ServiceCalls {
public:
    ServiceCalls(const Fault& fault, const std::string& path)
    {
        g = Recorder();
        g.fault = fault;
        g.path = path;
    }

private:
    HMODULE dll_ = GetModuleHandleA("Latchwire.dll");
    ImportHook hooks_[8] = {
        {dll_, "advapi32.dll", "OpenSCManagerA", reinterpret_cast<void*>(OnOpenManager)},
        {dll_, "advapi32.dll", "OpenServiceA", reinterpret_cast<void*>(OnOpenService)},
        {dll_, "advapi32.dll", "CreateServiceA", reinterpret_cast<void*>(OnCreate)},
        {dll_, "advapi32.dll", "CloseServiceHandle", reinterpret_cast<void*>(OnClose)},
        {dll_, "advapi32.dll", "ControlService", reinterpret_cast<void*>(OnControl)},
        {dll_, "advapi32.dll", "DeleteService", reinterpret_cast<void*>(OnDelete)},
        {dll_, "advapi32.dll", "StartServiceA", reinterpret_cast<void*>(OnStart)},
        {dll_, "advapi32.dll", "ChangeServiceConfigA", reinterpret_cast<void*>(OnChange)}};
};

// ---- The service as the manager reports it: "absent" or "<start> <state> <file>" ----
SC_HANDLE OpenOwn(SC_HANDLE manager) { return OpenServiceA(manager, kService, SERVICE_ALL_ACCESS); }

void WaitStopped(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 250 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i) {
        Sleep(20);
    }
}

std::string ServiceNow()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenOwn(manager);
    std::string text = "absent";
    char buffer[4096];
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    DWORD needed = 0;
    SERVICE_STATUS status{};
    if (service && QueryServiceConfigA(service, q, sizeof buffer, &needed) && QueryServiceStatus(service, &status)) {
        static const char* const kStarts[] = {"boot", "system", "auto", "demand", "disabled"};
        std::string path = q->lpBinaryPathName;
        text = std::string(q->dwStartType < 5 ? kStarts[q->dwStartType] : "?") +
               (status.dwCurrentState == SERVICE_RUNNING   ? " running "
                : status.dwCurrentState == SERVICE_STOPPED ? " stopped "
                                                           : " pending ") +
               path.substr(path.find_last_of("\\/") + 1);
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return text;
}

void RemoveAny()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (SC_HANDLE service = OpenOwn(manager)) {
        WaitStopped(service);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

// Starting states, made through the manager itself.
enum class State { Absent, Stopped, Running, MarkedForDeletion };

SC_HANDLE g_markedHandle = nullptr;  // kept open while the service is marked for deletion

void Prepare(State state)
{
    RemoveAny();
    ASSERT_EQ("absent", ServiceNow());
    if (state == State::Absent) return;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceA(manager, kService, kService, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, vnotebook::DriverFilePath().c_str(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, service) << GetLastError();
    if (state == State::Running) ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    if (state == State::MarkedForDeletion) {
        ASSERT_TRUE(DeleteService(service));
        g_markedHandle = service;
    } else {
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void Finish()
{
    if (g_markedHandle) CloseServiceHandle(g_markedHandle);
    g_markedHandle = nullptr;
    RemoveAny();
}

// ---- Expected logs ----
Messages operator+(Messages a, const Messages& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Messages Times(int n, const Messages& m) { return n == 0 ? Messages{} : m + Times(n - 1, m); }

const Messages kFound = {"mgr", "open", "close mgr"}, kNotFound = {"mgr", "open!", "close mgr"};
const Messages kNoManager = {"mgr!"};
const Messages kRemoveAbsent = Times(3, kNotFound);
const Messages kCreate = {"mgr", "create", "close mgr", "close svc"};
Messages Use(const char* call) { return kFound + Messages{call, "close svc"}; }
const Messages kFreshInstall = kNotFound + kRemoveAbsent + kRemoveAbsent + kCreate + Use("start") + Use("config");

// One starting state, one forced fault, and what the call must return, trace, call and leave.
struct Row {
    const char* what;
    State state;
    Fault fault;
    int result;
    Messages trace, log;
    std::string after;
    bool missingFile = false;
};

class DriverService : public ::testing::Test {
protected:
    void TearDown() override { Finish(); }
    void ExpectRows(const std::vector<Row>& rows, const std::function<int(const char* path)>& call)
    {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            const std::string path = row.missingFile ? "Z:\\nowhere\\vnotebook.sys" : vnotebook::DriverFilePath();
            Prepare(row.state);
            trace.Clear();
            {
                ServiceCalls calls(row.fault, path);
                EXPECT_EQ(row.result, call(path.c_str()));
            }
            EXPECT_EQ(row.trace, trace.Messages());
            EXPECT_EQ(row.log, g.log);
            EXPECT_EQ(row.after, ServiceNow());
            Finish();
        }
    }
    TraceCapture trace;
};

TEST_F(DriverService, CheckDriverFromEachStartingStateAndEachFailingCall)
{
    const Messages reload = {"Reload Driver Service Success\n\r"}, initFail = {"InitDriverServ fail !\n\r"},
                   startFail = {"StartDriver fail !\n\r"};
    const Messages created = kNotFound + kRemoveAbsent + kRemoveAbsent + kCreate;
    ExpectRows({
        {"fresh install", State::Absent, {}, 1, reload, kFreshInstall, "system running vnotebook.sys"},
        {"missing file, service running", State::Running, {}, 0, {"Driver is not exist\n\r"}, {},
         "demand running vnotebook.sys", true},
        {"installed, stopped: accepted as it is", State::Stopped, {}, 1, {}, kFound + Messages{"close svc"},
         "demand stopped vnotebook.sys"},
        {"no manager access", State::Absent, {"mgr", 0, ERROR_ACCESS_DENIED, false}, 0, initFail,
         Times(8, kNoManager), "absent"},
        {"creation refused", State::Absent, {"create", 1, ERROR_ACCESS_DENIED, false}, 0, initFail,
         kNotFound + kRemoveAbsent + kRemoveAbsent + Messages{"mgr", "create!", "close mgr"}, "absent"},
        {"start refused", State::Absent, {"start", 1, ERROR_ACCESS_DENIED, false}, 0, startFail,
         created + Use("start!"), "demand stopped vnotebook.sys"},
        {"start reports already running", State::Absent, {"start", 1, ERROR_SERVICE_ALREADY_RUNNING, true}, 1, reload,
         created + Use("start!") + Use("config"), "system running vnotebook.sys"},
        {"service not found to start", State::Absent, {"open", 8, ERROR_SERVICE_DOES_NOT_EXIST, false}, 0, startFail,
         created + kNotFound, "demand stopped vnotebook.sys"},
        {"switch to system start refused", State::Absent, {"config", 1, ERROR_ACCESS_DENIED, false}, 0, {},
         created + Use("start") + Use("config!"), "demand running vnotebook.sys"},
        {"service not found to switch", State::Absent, {"open", 9, ERROR_SERVICE_DOES_NOT_EXIST, false}, 0, {},
         created + Use("start") + kNotFound, "demand running vnotebook.sys"},
        // Not seen as installed, the stopped service is removed once (two stops, one deletion) and made anew.
        {"installed, not seen", State::Stopped, {"open", 1, ERROR_ACCESS_DENIED, false}, 1, reload,
         kNotFound + Use("stop!") + Use("stop!") + Use("delete") + kCreate + Use("start") + Use("config"),
         "system running vnotebook.sys"},
        {"marked for deletion", State::MarkedForDeletion, {}, 1, {}, kFound + Messages{"close svc"},
         "demand stopped vnotebook.sys"},
    }, [](const char* path) { return Check_Driver(kService, path); });
}

TEST_F(DriverService, UnloadDriverFromEachStartingStateAndEachFailingCall)
{
    const Messages fail = {"UnloadDriver fail !\n\r"};
    ExpectRows({
        {"running", State::Running, {}, 1, {}, Use("stop") + Use("delete"), "absent"},
        {"stopped: a failed stop is tried once more", State::Stopped, {}, 1, {},
         Use("stop!") + Use("stop!") + Use("delete"), "absent"},
        {"absent", State::Absent, {}, 0, fail, kRemoveAbsent, "absent"},
        {"deletion refused", State::Running, {"delete", 1, ERROR_ACCESS_DENIED, false}, 0, fail,
         Use("stop") + Use("delete!"), "demand stopped vnotebook.sys"},
        {"no manager access", State::Stopped, {"mgr", 0, ERROR_ACCESS_DENIED, false}, 0, fail, Times(3, kNoManager),
         "demand stopped vnotebook.sys"},
        {"marked for deletion", State::MarkedForDeletion, {}, 0, fail,
         Use("stop!") + Use("stop!") + Use("delete!"), "demand stopped vnotebook.sys"},
    }, [](const char*) { return UnloadDriver(kService); });
}

}  // namespace
