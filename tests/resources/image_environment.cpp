// Opens the executable under test once for the whole program: the first
// command-line argument that is not a GoogleTest flag names it (default
// Keyhaven.exe beside this program).
#include "resource_image.h"

#include <gtest/gtest.h>
#include <shellapi.h>

namespace restest {
namespace {

std::wstring ImageNameFromCommandLine()
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring name = L"Keyhaven.exe";
    for (int i = 1; args && i < count; ++i) {
        if (args[i][0] != L'-') {
            name = args[i];
            break;
        }
    }
    LocalFree(args);
    return name;
}

class ImageEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        OpenImage(ImageNameFromCommandLine());
        ASSERT_NE(Image().Module(), nullptr)
            << "cannot map " << Utf8(Image().Path()) << " (error " << Image().LoadError() << ")";
    }
    void TearDown() override { CloseImage(); }
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ImageEnvironment);

}  // namespace
}  // namespace restest
