// fn_event: plays the outside keyboard component. Finds Keyhaven's settings
// dialog by its window title and sends it an Fn event.
//
//   fn_event press|unlatch1|unlatch2 [--count N] [--post] [--title TEXT]
//
// The events are sent (SendMessage: returns once the program has handled
// each), or posted with --post. The default title is the English one.
// Exit code 0 when every event was delivered, 1 when the window is missing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "keyhaven_identity.h"
#include "keyhaven_messages.h"

namespace {

const char kDefaultTitle[] = KEYHAVEN_TITLE;

struct Event {
    const char* name;
    UINT message;
};

const Event kEvents[] = {
    {"press", WM_FN_PRESS},
    {"unlatch1", WM_FN_UNLATCH1},
    {"unlatch2", WM_FN_UNLATCH2},
};

void PrintUsage()
{
    std::printf(
        "usage: fn_event press|unlatch1|unlatch2 [--count N] [--post] [--title TEXT]\n"
        "Sends the Fn event (0x4400, 0x4401, 0x4402) to the window titled TEXT\n"
        "(default \"%s\"), N times (default 1).\n",
        kDefaultTitle);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        PrintUsage();
        return argc < 2 ? 2 : 0;
    }
    const Event* event = nullptr;
    for (const Event& e : kEvents) {
        if (std::strcmp(argv[1], e.name) == 0) event = &e;
    }
    long count = 1;
    bool post = false;
    std::string title = kDefaultTitle;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--count" && i + 1 < argc) count = std::strtol(argv[++i], nullptr, 0);
        else if (a == "--title" && i + 1 < argc) title = argv[++i];
        else if (a == "--post") post = true;
        else event = nullptr;
    }
    if (event == nullptr || count < 1) {
        PrintUsage();
        return 2;
    }
    HWND window = FindWindowA(nullptr, title.c_str());
    if (window == nullptr) {
        std::fprintf(stderr, "fn_event: no window titled \"%s\"\n", title.c_str());
        return 1;
    }
    for (long i = 0; i < count; ++i) {
        if (post) {
            if (!PostMessageA(window, event->message, 0, 0)) return 1;
        } else {
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(window, event->message, 0, 0, SMTO_NORMAL, 30000, &result)) return 1;
        }
    }
    return 0;
}
