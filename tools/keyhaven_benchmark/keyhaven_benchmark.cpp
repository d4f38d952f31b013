// keyhaven_benchmark: Keyhaven.exe on the virtual notebook, measured.
//
//   keyhaven_benchmark [idle seconds, default 60] [marker folder]
//
// Reports the dialog's start-up time (process start to visible dialog) and
// the time from an Fn message to the EC's Fn state change, then leaves the
// resident program idle (feature on, un-stick timer running) for the idle
// seconds, marking that phase in the marker folder for an outside sampler.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "keyhaven_messages.h"
#include "keyhaven_process.h"
#include "latchwire.h"
#include "resource.h"
#include "vnotebook_client.h"

using keyhavenremote::KeyhavenProcess;
using vnotebook::VirtualNotebook;

namespace {

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5)];
}

void PrintRow(const char* what, const std::vector<double>& ms)
{
    std::printf("%-44s median %8.1f ms   p95 %8.1f ms   (%zu runs)\n", what, Percentile(ms, 0.5),
                Percentile(ms, 0.95), ms.size());
}

void MeasureStartUp()
{
    std::vector<double> times;
    for (int run = 0; run < 10; ++run) {
        if (!keyhavenremote::WaitForNoKeyhavenWindow()) return;  // the run before has ended
        KeyhavenProcess program;
        const double start = NowMs();
        if (!program.Start()) return;
        HWND dialog = keyhavenremote::FindKeyhavenWindow(15000, program.ProcessId());
        if (dialog == nullptr || !keyhavenremote::WaitForVisibility(dialog, true)) return;
        times.push_back(NowMs() - start);
        keyhavenremote::Click(dialog, IDCANCEL);
        program.WaitForExit();
    }
    PrintRow("dialog start-up (start to visible dialog)", times);
}

// Each Fn message moves the EC's Fn state (lock by double press off).
void MeasureFnLatency(HWND dialog)
{
    std::vector<double> times;
    for (int press = 0; press < 200; ++press) {
        const uint32_t before = VirtualNotebook::State().fnDown;
        const double start = NowMs();
        PostMessageA(dialog, WM_FN_PRESS, 0, 0);
        while (VirtualNotebook::State().fnDown == before) {
            if (NowMs() - start > 5000) return;
        }
        times.push_back(NowMs() - start);
    }
    PrintRow("Fn message to EC Fn state change", times);
}

void TouchFile(const std::string& path)
{
    if (FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
}

// The idle phase: the program does nothing for `seconds`. Wine does not report
// another process's CPU times, so the phase is marked by two files in
// `markerFolder` for a sampler outside Wine (scripts/benchmark.sh) to read
// the process's CPU time and memory from the system between them.
void IdlePhase(int seconds, const std::string& markerFolder)
{
    // The pointer rests away from where the dialog was: a control under it
    // keeps the system's hover-tracking timer running, which is not the
    // program's own work.
    SetCursorPos(0, 0);
    Sleep(500);
    if (!markerFolder.empty()) TouchFile(markerFolder + "\\idle.begin");
    Sleep(static_cast<DWORD>(seconds) * 1000);
    if (!markerFolder.empty()) TouchFile(markerFolder + "\\idle.end");
}

}  // namespace

int main(int argc, char** argv)
{
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string markerFolder = argc > 2 ? argv[2] : "";
    if (idleSeconds <= 0) {
        std::fprintf(stderr, "usage: keyhaven_benchmark [idle seconds] [marker folder]\n");
        return 2;
    }
    if (!VirtualNotebook::Install()) {
        std::fprintf(stderr, "cannot install the virtual notebook's driver\n");
        return 1;
    }
    keyhavenremote::DeleteSettings();
    MeasureStartUp();

    // Resident as a user leaves it: on, no lock, un-stick after 5 minutes.
    keyhavenremote::WriteSetting("FnKeyEnable", 1);
    keyhavenremote::WriteSetting("FnKeyLock", 0);
    keyhavenremote::WriteSetting("FnUnStick", 1);
    keyhavenremote::WriteTextSetting("FnResetTime", "5");
    KeyhavenProcess program;
    keyhavenremote::WaitForNoKeyhavenWindow();
    program.Start();
    HWND dialog = keyhavenremote::FindKeyhavenWindow(15000, program.ProcessId());
    if (dialog == nullptr) return 1;
    keyhavenremote::Click(dialog, IDOK);
    keyhavenremote::WaitForVisibility(dialog, false);
    MeasureFnLatency(dialog);
    IdlePhase(idleSeconds, markerFolder);

    KeyhavenProcess closer;
    closer.Start("Close");
    closer.WaitForExit();
    program.WaitForExit();
    VirtualNotebook::Remove();
    return 0;
}
