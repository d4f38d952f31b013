// The framework test programs' application object (the framework's CWinApp
// needs one for the main window, command routing and message boxes).
#pragma once

#include "afxwin.h"

class CTestApp : public CWinApp {
public:
    int m_nHelpCommands = 0;

    afx_msg void OnTestHelp() { ++m_nHelpCommands; }

    DECLARE_MESSAGE_MAP()
};

CTestApp& TestApp();
