// Runs EC exchanges for the cross-process tests: "ec_exchange_worker N" sends
// FnKeyDown and FnKeyUP alternately N times. Prints the failures and the
// longest exchange in milliseconds; the exit code is the number of failures.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "latchwire.h"

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 0;
    int failures = 0;
    DWORD longest = 0;
    for (int i = 0; i < count; ++i) {
        DWORD start = GetTickCount();
        failures += (i % 2 == 0 ? FnKeyDown() : FnKeyUP()) ? 0 : 1;
        DWORD took = GetTickCount() - start;
        if (took > longest) longest = took;
    }
    std::printf("failures %d longest %lu\n", failures, static_cast<unsigned long>(longest));
    return failures;
}
