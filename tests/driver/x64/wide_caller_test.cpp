// A 64-bit caller of the x64 simulation driver. The request records hold 32-bit
// addresses: a mapping handed to a 64-bit caller must lie below 4 GB, where the
// caller can use the record's address as it is, and a mapping that cannot be put
// there is refused, with nothing left behind in the caller.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../device_request.h"
#include "latchwire_device.h"
#include "program_folder.h"

namespace {

const char kService[] = "Latchwire";
const uint32_t kPhysBase = 0x000F0000u;  // the virtual notebook's physical window; it starts with "_VN_"
const uint64_t k4GB = 0x100000000ull;

class WideCaller : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        const std::string path = programfolder::Narrow() + "vnotebook.sys";
        SC_HANDLE service = CreateServiceA(manager, kService, kService, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr,
                                           nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, service) << path << ": " << GetLastError();
        EXPECT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }

    static void TearDownTestSuite()
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = manager ? OpenServiceA(manager, kService, SERVICE_ALL_ACCESS) : nullptr;
        if (service) {
            SERVICE_STATUS status;
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        if (manager) CloseServiceHandle(manager);
    }
};

// The caller's mapped views (MEM_MAPPED regions), anywhere in its address space.
size_t MappedViews()
{
    size_t views = 0;
    MEMORY_BASIC_INFORMATION info;
    for (uintptr_t at = 0x10000; VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info) == sizeof info;
         at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize) {
        if (info.State != MEM_FREE && info.Type == MEM_MAPPED && info.BaseAddress == info.AllocationBase) ++views;
    }
    return views;
}

// Reserves every free region below 4 GB, so that nothing new can be put there.
struct LowSpaceTaken {
    std::vector<void*> reservations;
    LowSpaceTaken()
    {
        MEMORY_BASIC_INFORMATION info;
        for (uintptr_t at = 0x10000; at < k4GB && VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info);
             at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize) {
            if (info.State != MEM_FREE) continue;
            // Allocation granularity: a free region's start may lie inside a 64 KiB unit that is taken.
            uintptr_t base = (reinterpret_cast<uintptr_t>(info.BaseAddress) + 0xFFFF) & ~uintptr_t(0xFFFF);
            uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
            if (end > k4GB) end = k4GB;
            if (end <= base) continue;
            void* taken = VirtualAlloc(reinterpret_cast<void*>(base), end - base, MEM_RESERVE, PAGE_NOACCESS);
            if (taken) reservations.push_back(taken);
        }
    }
    ~LowSpaceTaken()
    {
        for (void* taken : reservations) VirtualFree(taken, 0, MEM_RELEASE);
    }
};

TEST_F(WideCaller, AMappingComesBelow4GBOrIsRefusedLeavingNothing)
{
    const size_t before = MappedViews();
    {
        LowSpaceTaken taken;
        ASSERT_FALSE(taken.reservations.empty());
        PhysMapRequest map{kPhysBase, 0};
        uint32_t linear = 0;
        EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS),
                  Request(IOCTL_MAP_PHYSICAL, &map, sizeof map, &linear, sizeof linear))
            << "mapped at the 32-bit address " << linear << " with no room below 4 GB";
        EXPECT_EQ(before, MappedViews()) << "the view put above 4 GB was taken away again";
    }
    // With room again, the same request succeeds: the refusal held nothing back. The record's
    // 32-bit address is the view itself, not the low half of one above 4 GB.
    PhysMapRequest map{kPhysBase, 0};
    uint32_t linear = 0;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Request(IOCTL_MAP_PHYSICAL, &map, sizeof map, &linear, sizeof linear));
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(sizeof info, VirtualQuery(reinterpret_cast<void*>(uintptr_t(linear)), &info, sizeof info));
    EXPECT_EQ(static_cast<DWORD>(MEM_MAPPED), info.Type);
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const void*>(uintptr_t(linear)), "_VN_", 4));
    UnmapRequest unmap{linear};
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Request(IOCTL_UNMAP_LINEAR, &unmap, sizeof unmap, nullptr, 0));
}

}  // namespace
