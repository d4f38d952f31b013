// Latchwire.dll exports exactly the library's names, undecorated.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ExportedNames(HMODULE module)
{
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    }
    EXPECT_EQ(exports->NumberOfNames, exports->NumberOfFunctions) << "no exports by ordinal only";
    std::sort(result.begin(), result.end());
    return result;
}

TEST(ExportTable, HoldsExactlyTheLibrarysTwentyOneNames)
{
    HMODULE library = LoadLibraryA("Latchwire.dll");
    ASSERT_NE(nullptr, library);
    std::vector<std::string> expected = {
        "Chk_PCI_Dev_Manufacturer", "IO_Port_Read_UCHAR",   "IO_Port_Read_ULONG",  "IO_Port_Read_USHORT",
        "IO_Port_Write_UCHAR",      "IO_Port_Write_ULONG",  "IO_Port_Write_USHORT", "PCI_DeviceReceiveCOMM",
        "PCI_DeviceWriteCOMM",      "Phy_Mapp_Lin",         "UnMapp_LinADD",        "EC_IndexMode_WriteCOMM",
        "EC_IndexMode_ReceiveCOMM", "Enable_StickyKey",     "Disable_StickyKey",   "FnKeyDown",
        "FnKeyUP",                  "EC_IO_ReceiveCOMM",    "EC_IO_SendCOMM",      "Check_Driver",
        "UnloadDriver",
    };
    ASSERT_EQ(21u, expected.size());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ExportedNames(library));
    FreeLibrary(library);
}

}  // namespace
