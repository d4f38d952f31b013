// keyhaven_app.h - CKeyhavenApp: the application object of Keyhaven.exe.
#pragma once

#include "afxwin.h"

class CKeyhavenApp : public CWinApp {
public:
    // Runs the settings dialog modally; the process ends with it.
    virtual BOOL InitInstance();

    DECLARE_MESSAGE_MAP()
};
