// CWinApp's command-line parsing and AfxMessageBox.
#include "test_app.h"
#include "test_resource.h"
#include "ui_test_support.h"

#include <stdlib.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using uitest::RunWhenIdle;

// Parses the given arguments as the process's command line.
std::string FileNameOf(std::vector<const char*> args)
{
    args.insert(args.begin(), "program.exe");
    int savedArgc = __argc;
    char** savedArgv = __argv;
    __argc = static_cast<int>(args.size());
    __argv = const_cast<char**>(args.data());
    CCommandLineInfo info;
    TestApp().ParseCommandLine(info);
    __argc = savedArgc;
    __argv = savedArgv;
    return static_cast<LPCTSTR>(info.m_strFileName);
}

TEST(CommandLineTest, FileNameIsTheFirstArgumentThatIsNotAFlag)
{
    EXPECT_EQ("", FileNameOf({}));
    EXPECT_EQ("Instant", FileNameOf({"Instant"}));
    EXPECT_EQ("Close", FileNameOf({"/Instant", "Close", "Instant"}));
    EXPECT_EQ("", FileNameOf({"-Close"}));
    EXPECT_EQ("first", FileNameOf({"first", "second"}));
}

BOOL CALLBACK CollectText(HWND hChild, LPARAM lParam)
{
    char text[256] = "";
    ::GetWindowText(hChild, text, sizeof text);
    reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(text);
    return TRUE;
}

std::vector<std::string> ChildTexts(HWND hWnd)
{
    std::vector<std::string> texts;
    ::EnumChildWindows(hWnd, CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

class MessageBoxTest : public uitest::UiTest {
protected:
    void TearDown() override
    {
        TestApp().m_pMainWnd = NULL;
        uitest::UiTest::TearDown();
    }
};

TEST_F(MessageBoxTest, AfxMessageBoxIsOwnedByTheMainWindowAndCaptionedWithTheAppName)
{
    CDialog mainDlg(IDD_HARNESS);
    HWND hWndMain = NULL, hWndBox = NULL, hWndBoxOwner = NULL;
    std::vector<std::string> boxTexts;
    int nResult = 0;
    RunWhenIdle([&] {
        hWndMain = mainDlg.m_hWnd;
        TestApp().m_pMainWnd = &mainDlg;
        RunWhenIdle([&] {  // runs inside the message box's loop
            hWndBox = ::FindWindow("#32770", "framework_core_tests");
            hWndBoxOwner = ::GetWindow(hWndBox, GW_OWNER);
            boxTexts = ChildTexts(hWndBox);
            ::PostMessage(hWndBox, WM_COMMAND, IDOK, 0);
        });
        nResult = AfxMessageBox("Missing registry!");
        TestApp().m_pMainWnd = NULL;
        mainDlg.EndDialog(IDOK);
    });

    mainDlg.DoModal();
    EXPECT_STREQ("framework_core_tests", AfxGetAppName());
    ASSERT_NE(nullptr, hWndBox) << "no message box captioned with the executable's name";
    EXPECT_EQ(hWndMain, hWndBoxOwner);
    EXPECT_NE(boxTexts.end(), std::find(boxTexts.begin(), boxTexts.end(), "Missing registry!"));
    EXPECT_EQ(IDOK, nResult);
}

}  // namespace
