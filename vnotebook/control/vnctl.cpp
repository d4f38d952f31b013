// vnctl: control tool of the virtual notebook.
//
//   vnctl install | start | stop | remove     the driver's service
//   vnctl reset                               power-on state
//   vnctl state                               print the emulator's state
//   vnctl set <setting> <value>               configure a setting or fault
//
// Values may be decimal or 0x-prefixed hexadecimal; "unlimited" stands for
// 0xFFFFFFFF. Exit code 0 on success, 1 on failure, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vnotebook_client.h"

using vnotebook::VirtualNotebook;

namespace {

struct Setting {
    const char* name;
    uint32_t key;
    const char* help;
};

const Setting kSettings[] = {
    {"chipset", VN_CFG_CHIPSET, "0 none, 1 first (0x1002 at 0/0x14/3), 2 second (0x8086 at 0/0x1F/0)"},
    {"ec-answer-polls", VN_CFG_EC_ANSWER_POLLS, "flag reads before the EC answers a posted byte"},
    {"ec-answer-budget", VN_CFG_EC_ANSWER_BUDGET, "handshakes the EC answers before falling silent"},
    {"index-stuck-address", VN_CFG_INDEX_STUCK_ADDR, "index ports show this address (0: normal)"},
    {"decode-stuck", VN_CFG_DECODE_STUCK, "1: the bridge's decode window never opens"},
    {"fail-port", VN_CFG_FAIL_PORT, "accesses to this port fail (unlimited: none)"},
    {"map-returned-length", VN_CFG_MAP_RETURNED_LENGTH, "byte count reported for a mapping (4: correct; more than 4 fails the map)"},
    {"fail-code", VN_CFG_FAIL_CODE, "control code the driver rejects (0: none)"},
    {"fail-code-count", VN_CFG_FAIL_CODE_COUNT, "how many requests of that code fail"},
    {"clear-log", VN_CFG_CLEAR_LOG, "clear the EC byte log and the counters (value ignored)"},
    {"caller-is-admin", VN_CFG_CALLER_IS_ADMIN, "0: the access policy treats callers as standard users until the driver restarts"},
};

void PrintUsage()
{
    std::printf(
        "usage: vnctl install|start|stop|remove|reset|state\n"
        "       vnctl set <setting> <value>\n\n"
        "The driver file %s is taken from the folder of vnctl.exe.\nSettings:\n",
        VNOTEBOOK_DRIVER_FILE);
    for (const Setting& s : kSettings) std::printf("  %-20s %s\n", s.name, s.help);
}

bool ParseValue(const char* text, uint32_t* value)
{
    if (std::strcmp(text, "unlimited") == 0) {
        *value = VN_UNLIMITED;
        return true;
    }
    char* end = nullptr;
    unsigned long parsed = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0') return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

void PrintState(const VnSnapshot& s)
{
    static const char* const kChipsets[] = {"none", "first (0x1002)", "second (0x8086)"};
    std::printf("chipset            %s\n", s.chipset < 3 ? kChipsets[s.chipset] : "?");
    std::printf("sticky mode        %s\n", s.stickyMode ? "on" : "off");
    std::printf("Fn                 %s\n", s.fnDown ? "down" : "up");
    std::printf("EC flag            %u\n", s.ecFlag);
    std::printf("index address      0x%04X\n", s.indexAddress);
    std::printf("decode window      %s (base 0x%04X, control 0x%02X)\n", s.decodeOpen ? "open" : "closed",
                s.decodeBase, s.decodeControl);
    std::printf("exchange active    %u\n", s.exchangeActive);
    std::printf("violations         no-ready %u, overlap %u, interleave %u\n", s.violationNoReady,
                s.violationOverlap, s.violationInterleave);
    std::printf("device requests    %u\n", s.requestCount);
    std::printf("bridge writes      %u\n", s.configWrites);
    std::printf("mappings           %u\n", s.mappings);
    uint32_t kept = s.ecLogCount < VN_EC_LOG_SIZE ? s.ecLogCount : VN_EC_LOG_SIZE;
    std::printf("EC bytes accepted  %u (last %u:", s.ecLogCount, kept);
    for (uint32_t i = 0; i < kept; ++i) {
        std::printf(" %s%02X", s.ecLog[i].isCommand ? "C" : "D", s.ecLog[i].value);
    }
    std::printf(")\n");
}

int Report(bool ok, const char* what)
{
    if (!ok) std::fprintf(stderr, "vnctl: %s failed\n", what);
    return ok ? 0 : 1;
}

int Set(const char* name, const char* text)
{
    for (const Setting& s : kSettings) {
        if (std::strcmp(s.name, name) != 0) continue;
        uint32_t value;
        if (!ParseValue(text, &value)) {
            std::fprintf(stderr, "vnctl: '%s' is not a number\n", text);
            return 2;
        }
        return Report(VirtualNotebook::Configure(s.key, value), "set");
    }
    std::fprintf(stderr, "vnctl: unknown setting '%s' (see vnctl --help)\n", name);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage();
        return argc < 2 ? 2 : 0;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "install") == 0) return Report(VirtualNotebook::Install(), "install");
    if (std::strcmp(command, "start") == 0) return Report(VirtualNotebook::Start(), "start");
    if (std::strcmp(command, "stop") == 0) return Report(VirtualNotebook::Stop(), "stop");
    if (std::strcmp(command, "remove") == 0) return Report(VirtualNotebook::Remove(), "remove");
    if (std::strcmp(command, "reset") == 0) return Report(VirtualNotebook::Reset(), "reset");
    if (std::strcmp(command, "state") == 0) {
        VnSnapshot snapshot;
        if (!VirtualNotebook::TryState(&snapshot)) return Report(false, "state (is the driver running?)");
        PrintState(snapshot);
        return 0;
    }
    if (std::strcmp(command, "set") == 0 && argc == 4) return Set(argv[2], argv[3]);
    PrintUsage();
    return 2;
}
