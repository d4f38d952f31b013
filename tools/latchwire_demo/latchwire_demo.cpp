// Demonstration on the virtual notebook: installs its driver, makes raw
// hardware calls through Latchwire.dll, and prints each result with the trace
// lines the library wrote, as a debug-output viewer would show them.
#include <cstdio>
#include <string>

#include "debug_output_capture.h"
#include "latchwire.h"
#include "vnotebook_client.h"

using vnotebook::VirtualNotebook;

namespace {

debugoutput::TraceCapture* g_trace = nullptr;

std::string Visible(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

void Show(const char* call, int result, const std::string& detail = std::string())
{
    std::printf("%-58s -> %d%s\n", call, result, detail.c_str());
    for (const std::string& line : g_trace->Lines()) std::printf("    trace: %s\n", Visible(line).c_str());
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

}  // namespace

int main()
{
    debugoutput::TraceCapture trace;
    g_trace = &trace;

    std::printf("Installing the virtual notebook's driver (service \"%s\", %s)\n", vnotebook::kDriverServiceName,
                vnotebook::DriverFilePath().c_str());
    if (!VirtualNotebook::Install()) {
        std::fprintf(stderr, "cannot install the driver\n");
        return 1;
    }
    PortCalls();
    PciCalls();
    MemoryCalls();

    std::printf("\n-- the same port read with the driver stopped --\n");
    VirtualNotebook::Stop();
    UCHAR byte = 0xEE;
    Show("IO_Port_Read_UCHAR(0x300, &byte)", IO_Port_Read_UCHAR(0x300, &byte), Hex(byte));

    VirtualNotebook::Remove();
    std::printf("\nDriver removed.\n");
    return 0;
}
