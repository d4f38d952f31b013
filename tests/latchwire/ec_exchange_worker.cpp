// Runs EC exchanges for the cross-process tests: "ec_exchange_worker N" sends
// FnKeyDown and FnKeyUP alternately N times; the exit code is the number of
// failures.
#include "latchwire.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 0;
    int failures = 0;
    for (int i = 0; i < count; ++i) failures += (i % 2 == 0 ? FnKeyDown() : FnKeyUP()) ? 0 : 1;
    return failures;
}
