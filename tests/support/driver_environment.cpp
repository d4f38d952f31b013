#include "driver_environment.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {

class DriverEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::Install()) << "cannot install " << vnotebook::DriverFilePath();
    }
    void TearDown() override { VirtualNotebook::Remove(); }
};

}  // namespace

void InstallVirtualNotebookForTests()
{
    ::testing::AddGlobalTestEnvironment(new DriverEnvironment);
}

}  // namespace testsupport
