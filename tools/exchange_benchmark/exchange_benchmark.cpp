// Benchmark of the sticky-key commands on the virtual notebook: for each
// chipset and command, the device calls one exchange costs and the wall time
// per exchange (median and 95th percentile).
//
//   exchange_benchmark [exchanges per command, default 200]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "latchwire.h"
#include "vnotebook_client.h"

using vnotebook::VirtualNotebook;

namespace {

struct Command {
    const char* name;
    int (*call)();
};

const Command kCommands[] = {
    {"Enable_StickyKey", Enable_StickyKey},
    {"Disable_StickyKey", Disable_StickyKey},
    {"FnKeyDown", FnKeyDown},
    {"FnKeyUP", FnKeyUP},
};

struct Chipset {
    const char* name;
    uint32_t value;
};

const Chipset kChipsets[] = {{"first (0x1002)", VN_CHIPSET_FIRST}, {"second (0x8086)", VN_CHIPSET_SECOND}};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency)
{
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

bool Measure(const Chipset& chipset, const Command& command, int exchanges)
{
    if (!VirtualNotebook::Reset() || !VirtualNotebook::Configure(VN_CFG_CHIPSET, chipset.value)) return false;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    uint32_t requestsBefore = VirtualNotebook::State().requestCount;
    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < exchanges; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (!command.call()) ++failures;
        QueryPerformanceCounter(&end);
        times.push_back(Milliseconds(start, end, frequency));
    }
    uint32_t requests = VirtualNotebook::State().requestCount - requestsBefore;
    std::printf("%-16s %-18s %8.1f %10.2f %10.2f %9d\n", chipset.name, command.name,
                static_cast<double>(requests) / exchanges, Percentile(times, 0.5), Percentile(times, 0.95),
                failures);
    return failures == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 200;
    if (exchanges <= 0) {
        std::fprintf(stderr, "usage: exchange_benchmark [exchanges per command]\n");
        return 2;
    }
    if (!VirtualNotebook::Install()) {
        std::fprintf(stderr, "cannot install the virtual notebook's driver\n");
        return 1;
    }
    std::printf("%d exchanges per command\n\n", exchanges);
    std::printf("%-16s %-18s %8s %10s %10s %9s\n", "chipset", "command", "calls", "median ms", "p95 ms", "failures");
    bool allSucceeded = true;
    for (const Chipset& chipset : kChipsets) {
        for (const Command& command : kCommands) allSucceeded = Measure(chipset, command, exchanges) && allSucceeded;
    }
    VirtualNotebook::Remove();
    return allSucceeded ? 0 : 1;
}
