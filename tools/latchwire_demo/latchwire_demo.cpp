// Demonstration on the virtual notebook: installs its driver with
// Check_Driver, makes raw hardware, sticky-key and mailbox calls through
// Latchwire.dll, removes the driver with UnloadDriver, and prints each result
// with the trace lines the library wrote, as a debug-output viewer shows them.
#include <cstdio>
#include <string>

#include "dbwin_listener.h"
#include "debug_output_capture.h"
#include "latchwire.h"
#include "vnotebook_client.h"

using vnotebook::VirtualNotebook;

namespace {

debugoutput::TraceCapture* g_trace = nullptr;

void Show(const char* call, int result, const std::string& detail = std::string())
{
    std::printf("%-58s -> %d%s\n", call, result, detail.c_str());
    for (const std::string& line : g_trace->Lines()) std::printf("    trace: %s\n", debugoutput::Visible(line).c_str());
    g_trace->Clear();
}

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return "   value " + std::string(text);
}

void PortCalls()
{
    std::printf("\n-- port I/O (scratch ports 0x300..0x3FF) --\n");
    Show("IO_Port_Write_UCHAR(0x300, 0x5A)", IO_Port_Write_UCHAR(0x300, 0x5A));
    UCHAR byte = 0;
    int ok = IO_Port_Read_UCHAR(0x300, &byte);
    Show("IO_Port_Read_UCHAR(0x300, &byte)", ok, Hex(byte));
    Show("IO_Port_Write_ULONG(0x304, 0xC0FFEE42)", IO_Port_Write_ULONG(0x304, 0xC0FFEE42));
    ULONG dword = 0;
    ok = IO_Port_Read_ULONG(0x304, &dword);
    Show("IO_Port_Read_ULONG(0x304, &dword)", ok, Hex(dword));
    USHORT word = 0;
    ok = IO_Port_Read_USHORT(0x306, &word);
    Show("IO_Port_Read_USHORT(0x306, &word)", ok, Hex(word));
}

void PciCalls()
{
    std::printf("\n-- PCI configuration --\n");
    USHORT vendor = 0;
    int ok = PCI_DeviceReceiveCOMM(1, 0, 0x1F, 0, 0, reinterpret_cast<UCHAR*>(&vendor), 2);
    Show("PCI_DeviceReceiveCOMM(1, 0, 0x1F, 0, 0x00, &vendor, 2)", ok, Hex(vendor));
    Show("Chk_PCI_Dev_Manufacturer(0, 0x1F, 0, 0x8086)", Chk_PCI_Dev_Manufacturer(0, 0x1F, 0, 0x8086));
    Show("Chk_PCI_Dev_Manufacturer(0, 0x14, 3, 0x1002)", Chk_PCI_Dev_Manufacturer(0, 0x14, 3, 0x1002));
}

void MemoryCalls()
{
    std::printf("\n-- physical memory --\n");
    ULONG linear = 0;
    int ok = Phy_Mapp_Lin(VN_PHYS_BASE, 0x1000, &linear);
    std::string detail;
    if (ok) {
        const char* bytes = reinterpret_cast<const char*>(linear);
        detail = "   first bytes \"" + std::string(bytes, 4) + "\"";
    }
    Show("Phy_Mapp_Lin(0xF0000, 0x1000, &linear)", ok, detail);
    if (ok) Show("UnMapp_LinADD(linear)", UnMapp_LinADD(linear));
}

void StickyKeyCalls()
{
    std::printf("\n-- sticky-key commands (one EC index-mode exchange each) --\n");
    Show("Enable_StickyKey()", Enable_StickyKey());
    Show("FnKeyDown()", FnKeyDown());
    VnSnapshot s = VirtualNotebook::State();
    std::printf("    EC: sticky mode %s, Fn %s, %u device calls so far\n", s.stickyMode ? "on" : "off",
                s.fnDown ? "down" : "up", s.requestCount);
    Show("FnKeyUP()", FnKeyUP());
    Show("Disable_StickyKey()", Disable_StickyKey());
    s = VirtualNotebook::State();
    std::printf("    EC: sticky mode %s, Fn %s\n", s.stickyMode ? "on" : "off", s.fnDown ? "down" : "up");
}

void MailboxCalls()
{
    std::printf("\n-- EC mailbox through the driver --\n");
    Show("EC_IO_SendCOMM(0x59, 1, 0x60, 0, 0)", EC_IO_SendCOMM(0x59, 1, 0x60, 0, 0));
    UCHAR reply[2] = {0, 0};
    int ok = EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2,
                               static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(reply)), sizeof reply);
    char detail[64];
    std::snprintf(detail, sizeof detail, "   sticky mode %u, Fn %u", reply[0], reply[1]);
    Show("EC_IO_ReceiveCOMM(0x58, 0, 0, 0, 2, &reply, 2)", ok, detail);
    Show("Disable_StickyKey()", Disable_StickyKey());
}

}  // namespace

int main()
{
    debugoutput::TraceCapture trace;
    g_trace = &trace;

    const std::string driverPath = vnotebook::DriverFilePath();
    std::printf("Virtual notebook driver: service \"%s\", file %s\n\n", vnotebook::kDriverServiceName,
                driverPath.c_str());
    int installed = Check_Driver(vnotebook::kDriverServiceName, driverPath.c_str());
    Show("Check_Driver(\"Latchwire\", path)", installed);
    if (!installed) return 1;
    PortCalls();
    PciCalls();
    MemoryCalls();
    StickyKeyCalls();
    MailboxCalls();

    std::printf("\n-- the same port read with the driver stopped --\n");
    VirtualNotebook::Stop();
    UCHAR byte = 0xEE;
    Show("IO_Port_Read_UCHAR(0x300, &byte)", IO_Port_Read_UCHAR(0x300, &byte), Hex(byte));

    std::printf("\n-- removing the driver's service --\n");
    Show("UnloadDriver(\"Latchwire\")", UnloadDriver(vnotebook::kDriverServiceName));
    return 0;
}
