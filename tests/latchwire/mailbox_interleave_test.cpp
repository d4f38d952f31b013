// The driver's EC mailbox and the library's index-mode exchanges share the EC's
// index window. A mailbox request that arrives between any two requests of an
// exchange must neither corrupt the exchange nor be corrupted: it goes ahead
// only while the window is idle, and otherwise reports busy having changed
// nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "driver_environment.h"
#include "latchwire.h"
#include "latchwire_device.h"
#include "library_calls.h"

using latchwiretest::LibraryCalls;
using testsupport::VirtualNotebook;
using Bytes = std::vector<std::string>;

namespace {

// The sticky-key command with "sticky on", sent straight to the driver (not through the library,
// whose requests are being counted): ERROR_SUCCESS or the error the request failed with.
DWORD MailboxStickyOn()
{
    HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return GetLastError();
    EcIoRequest request{STICKY_CMD, 1, STICKY_DATA_ON, 0, 0, 0, 0, 0};
    DWORD returned = 0;
    DWORD error = DeviceIoControl(device, IOCTL_EC_IO_SEND, &request, sizeof request, nullptr, 0, &returned, nullptr)
                      ? ERROR_SUCCESS
                      : GetLastError();
    CloseHandle(device);
    return error;
}

class MailboxDuringExchange : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::IsRunning() || VirtualNotebook::Start());
        Prepare();
    }
    void Prepare()
    {
        ASSERT_TRUE(VirtualNotebook::Reset());
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, GetParam()));
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CLEAR_LOG, 0));
    }
};

INSTANTIATE_TEST_SUITE_P(BothChipsets, MailboxDuringExchange, ::testing::Values(VN_CHIPSET_FIRST, VN_CHIPSET_SECOND),
                         latchwiretest::ChipsetName);

TEST_P(MailboxDuringExchange, AtEveryPositionTheExchangeKeepsItsBytesAndTheMailboxIsBusyOrWhole)
{
    size_t requests = 0;
    {
        LibraryCalls calls;
        ASSERT_EQ(1, FnKeyDown());
        requests = calls.Get().requests.size();
    }
    ASSERT_GT(requests, 20u) << "one exchange is many requests";

    int busy = 0, served = 0;
    // Before request 1 (ahead of the whole exchange) up to after the last one.
    for (size_t position = 1; position <= requests + 1; ++position) {
        Prepare();
        DWORD mailbox = ~0u;
        int result = 0;
        {
            LibraryCalls calls;
            calls.BeforeRequest(static_cast<int>(position), [&] { mailbox = MailboxStickyOn(); });
            result = FnKeyDown();
        }
        if (position == requests + 1) mailbox = MailboxStickyOn();
        const std::string where = "mailbox before request " + std::to_string(position);
        ASSERT_NE(~0u, mailbox) << where << ": the mailbox was sent";
        EXPECT_EQ(1, result) << where << ": the exchange succeeds";

        VnSnapshot s = VirtualNotebook::State();
        Bytes bytes = latchwiretest::EcBytes();
        EXPECT_EQ(1u, s.fnDown) << where;
        if (mailbox == ERROR_SUCCESS) {
            ++served;
            EXPECT_EQ(1u, s.stickyMode) << where;
            // Both exchanges whole, one after the other.
            EXPECT_TRUE((bytes == Bytes{"C59", "D60", "C59", "D62"}) || (bytes == Bytes{"C59", "D62", "C59", "D60"}))
                << where << ": " << ::testing::PrintToString(bytes);
        } else {
            ++busy;
            EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), mailbox) << where;
            EXPECT_EQ(0u, s.stickyMode) << where;
            EXPECT_EQ((Bytes{"C59", "D62"}), bytes) << where;
        }
        EXPECT_EQ(0u, s.violationNoReady + s.violationOverlap) << where;
        EXPECT_EQ(FLAG_FREE, s.ecFlag) << where;
        EXPECT_EQ(EC_DEFAULT_ADDR, s.indexAddress) << where << ": the idle address is back";
        EXPECT_EQ(0u, s.exchangeActive) << where;
        EXPECT_EQ(0u, s.decodeOpen) << where;
    }
    EXPECT_GT(busy, 0) << "positions inside the exchange find the window busy";
    EXPECT_GT(served, 0) << "an idle window serves the mailbox";
}

}  // namespace
