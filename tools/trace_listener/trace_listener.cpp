// trace_listener: captures the debugger-output lines of every process through
// the platform's debug-output buffer protocol (DBWIN_BUFFER, DBWIN_BUFFER_READY,
// DBWIN_DATA_READY), as a debug-output viewer does, and prints or saves them.
//
//   trace_listener [--pid N] [--out FILE] [--seconds S] [--raw] [--ready-file FILE]
//
// Lines are printed as "[pid] text" with line feeds and carriage returns shown
// as \n and \r, or, with --raw, byte for byte as the process wrote them.
// --seconds ends the capture after S seconds (default: until Ctrl+C).
// --ready-file is created once the listener is attached, so a script can wait
// for it before starting the program it watches.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dbwin_listener.h"

namespace {

struct Options {
    DWORD pid = 0;
    const char* outPath = nullptr;
    const char* readyPath = nullptr;
    double seconds = 0;
    bool raw = false;
};

volatile LONG g_stop = 0;

BOOL WINAPI OnConsoleControl(DWORD)
{
    InterlockedExchange(&g_stop, 1);
    return TRUE;
}

void PrintUsage()
{
    std::printf(
        "usage: trace_listener [--pid N] [--out FILE] [--seconds S] [--raw] [--ready-file FILE]\n"
        "Captures debugger-output lines of all processes (or of process N) and prints them,\n"
        "or appends them to FILE. Only one listener can be attached at a time.\n");
}

bool ParseOptions(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--pid" && hasValue) o->pid = std::strtoul(argv[++i], nullptr, 0);
        else if (a == "--out" && hasValue) o->outPath = argv[++i];
        else if (a == "--ready-file" && hasValue) o->readyPath = argv[++i];
        else if (a == "--seconds" && hasValue) o->seconds = std::atof(argv[++i]);
        else if (a == "--raw") o->raw = true;
        else return false;
    }
    return true;
}

void TouchReadyFile(const char* path)
{
    if (path == nullptr) return;
    if (FILE* f = std::fopen(path, "w")) std::fclose(f);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    const bool help = argc > 1 && std::strcmp(argv[1], "--help") == 0;
    if (help || !ParseOptions(argc, argv, &o)) {
        PrintUsage();
        return help ? 0 : 2;
    }

    debugoutput::DbwinListener listener;
    std::string reason;
    if (!listener.Attach(&reason)) {
        std::fprintf(stderr, "trace_listener: %s\n", reason.c_str());
        return 1;
    }
    FILE* out = stdout;
    if (o.outPath && !(out = std::fopen(o.outPath, "ab"))) {
        std::fprintf(stderr, "trace_listener: cannot open %s\n", o.outPath);
        return 1;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    TouchReadyFile(o.readyPath);

    const DWORD deadline = o.seconds > 0 ? GetTickCount() + static_cast<DWORD>(o.seconds * 1000) : 0;
    auto emit = [&](DWORD pid, const std::string& text) {
        if (o.pid != 0 && o.pid != pid) return;
        if (o.raw) std::fputs(text.c_str(), out);
        else std::fprintf(out, "[%lu] %s\n", static_cast<unsigned long>(pid), debugoutput::Visible(text).c_str());
        std::fflush(out);
    };
    while (!g_stop && (deadline == 0 || static_cast<LONG>(deadline - GetTickCount()) > 0)) {
        listener.Receive(100, emit);
    }
    if (out != stdout) std::fclose(out);
    return 0;
}
