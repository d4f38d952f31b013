#include "test_app.h"

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
    ON_COMMAND(ID_HELP, OnTestHelp)
END_MESSAGE_MAP()

namespace {
CTestApp theApp;
}

CTestApp& TestApp() { return theApp; }
