// keyhaven_scenario: the main job's scripted run of Keyhaven.exe on the
// virtual notebook. Installs the driver with Check_Driver, starts the program
// with "Instant", plays the keyboard component's Fn events, applies changed
// options in the dialog, ends the program with a "Close" start and removes
// the driver with UnloadDriver. After every step it prints the EC's sticky-key
// and Fn state, the program's Fn state, and the library's trace lines as a
// debug-output viewer captures them; it saves screenshots of the dialog.
//
//   keyhaven_scenario [screenshot folder]
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbwin_listener.h"
#include "keyhaven_messages.h"
#include "keyhaven_process.h"
#include "latchwire.h"
#include "resource.h"
#include "vnotebook_client.h"

using keyhavenremote::KeyhavenProcess;
using vnotebook::VirtualNotebook;

namespace {

// Trace lines of every process, collected by a listener thread.
class TraceCollector {
public:
    bool Start(std::string* reason)
    {
        if (!listener_.Attach(reason)) return false;
        thread_ = std::thread([this] {
            while (!stop_) {
                listener_.Receive(50, [this](DWORD pid, const std::string& text) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    lines_.push_back("[" + std::to_string(pid) + "] " + debugoutput::Visible(text));
                });
            }
        });
        return true;
    }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // Lines that came since the last call; waits briefly for stragglers.
    std::vector<std::string> Take()
    {
        Sleep(150);
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> taken;
        taken.swap(lines_);
        return taken;
    }

private:
    debugoutput::DbwinListener listener_;
    std::thread thread_;
    volatile bool stop_ = false;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

TraceCollector g_traces;
std::string g_shotFolder;
int g_step = 0;

const char* FnStateName(DWORD state)
{
    switch (state) {
    case FN_RELEASED: return "Fn released";
    case FN_LATCHED: return "Fn latched";
    case FN_LOCKED: return "Fn locked";
    default: return "Fn in an unknown state";
    }
}

// The program's Fn state, as it stores it on a suspend request.
std::string ProgramFnState(HWND dialog)
{
    if (dialog == nullptr || !IsWindow(dialog)) return "not running";
    SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0);
    DWORD state = 0xFF;
    if (!keyhavenremote::ReadSetting("FnKeyStatus", &state)) return "Fn state unknown";
    return FnStateName(state);
}

void Report(const char* what, HWND dialog)
{
    std::printf("\n%2d. %s\n", ++g_step, what);
    VnSnapshot ec;
    if (VirtualNotebook::TryState(&ec)) {
        std::printf("    EC: sticky-key mode %s, Fn %s | program: %s\n", ec.stickyMode ? "on" : "off",
                    ec.fnDown ? "down" : "up", ProgramFnState(dialog).c_str());
    } else {
        std::printf("    EC: driver not running\n");
    }
    for (const std::string& line : g_traces.Take()) std::printf("    trace %s\n", line.c_str());
}

// Saves the whole screen as a 24-bit BMP file.
bool SaveScreenshot(const std::string& name)
{
    if (g_shotFolder.empty()) return false;
    Sleep(300);  // let the dialog paint
    HDC screen = GetDC(nullptr);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    const std::string path = g_shotFolder + "\\" + name;
    bool saved = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, imageSize, 1, out);
        std::fclose(out);
        saved = true;
        std::printf("    screenshot %s\n", path.c_str());
    }
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return saved;
}

void SendFn(HWND dialog, UINT message)
{
    SendMessageA(dialog, message, 0, 0);
}

int Fail(const char* why)
{
    std::fprintf(stderr, "keyhaven_scenario: %s\n", why);
    g_traces.Stop();
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) g_shotFolder = argv[1];
    std::string reason;
    if (!g_traces.Start(&reason)) {
        std::fprintf(stderr, "keyhaven_scenario: %s\n", reason.c_str());
        return 1;
    }
    keyhavenremote::DeleteSettings();

    const std::string driverPath = vnotebook::DriverFilePath();
    std::printf("Keyhaven on the virtual notebook (driver %s)\n", driverPath.c_str());
    if (!Check_Driver(vnotebook::kDriverServiceName, driverPath.c_str())) return Fail("Check_Driver failed");
    Report("Check_Driver installed and started the driver", nullptr);

    // The raw channel beneath it all: one port written and read back through the driver.
    const int written = IO_Port_Write_UCHAR(VN_SCRATCH_PORT_FIRST, 0x5A);
    UCHAR value = 0;
    const int read = IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value);
    char what[128];
    std::snprintf(what, sizeof what, "IO_Port_Write_UCHAR(0x%X, 0x5A) -> %d; IO_Port_Read_UCHAR(0x%X) -> %d, value 0x%02X",
                  VN_SCRATCH_PORT_FIRST, written, VN_SCRATCH_PORT_FIRST, read, value);
    Report(what, nullptr);

    KeyhavenProcess program;
    if (!program.Start("Instant")) return Fail("cannot start Keyhaven.exe");
    HWND dialog = keyhavenremote::FindKeyhavenWindow(15000, program.ProcessId());
    if (dialog == nullptr || !keyhavenremote::WaitForSetting("FnKeyEnable", 1) ||
        !keyhavenremote::WaitForVisibility(dialog, false)) {
        return Fail("no resident dialog");
    }
    Report("\"Keyhaven.exe Instant\": feature on with the fixed defaults, dialog hidden", dialog);

    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed (0x4400): latched", dialog);
    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed again: locked (lock by double press is on)", dialog);
    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed a third time: released", dialog);
    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed: latched", dialog);
    SendFn(dialog, WM_FN_UNLATCH1);
    Report("unlatch message (0x4401) after the key combination: released", dialog);

    KeyhavenProcess second;
    second.Start();
    second.WaitForExit();
    keyhavenremote::WaitForVisibility(dialog, true);
    Report("\"Keyhaven.exe\" again: the running dialog is shown", dialog);
    SaveScreenshot("scenario-1-dialog.bmp");

    // After an instant start the option boxes keep the enabled state they had
    // at start-up (disabled for a new user): a person clears and checks "Use".
    keyhavenremote::Click(dialog, IDC_USE_FNSTICKY);
    keyhavenremote::Click(dialog, IDC_USE_FNSTICKY);
    keyhavenremote::Click(dialog, IDC_LOCK_TWICE);
    keyhavenremote::Click(dialog, IDC_UNSTICK_IDLE);
    keyhavenremote::SelectListItem(dialog, IDC_IDLE_MINUTES, 2);
    SaveScreenshot("scenario-2-changed.bmp");
    keyhavenremote::Click(dialog, IDC_APPLY);
    Report("lock by double press off, un-stick after 3 minutes on, Apply", dialog);
    keyhavenremote::Click(dialog, IDOK);
    keyhavenremote::WaitForVisibility(dialog, false);
    Report("OK: the settings applied once more, the dialog hidden", dialog);

    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed: latched", dialog);
    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed again: released (no lock now)", dialog);
    SendFn(dialog, WM_FN_PRESS);
    Report("Fn pressed: latched", dialog);

    KeyhavenProcess closer;
    closer.Start("Close");
    closer.WaitForExit();
    program.WaitForExit();
    Report("\"Keyhaven.exe Close\": Fn released, feature off, both processes ended", nullptr);

    int removed = UnloadDriver(vnotebook::kDriverServiceName);
    Report(removed ? "UnloadDriver removed the driver" : "UnloadDriver failed", nullptr);
    g_traces.Stop();
    return removed ? 0 : 1;
}
