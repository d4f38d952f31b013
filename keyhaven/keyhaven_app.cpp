// keyhaven_app.cpp - CKeyhavenApp: the whole life of the process is one modal
// run of the settings dialog.
#include "keyhaven_app.h"

#include "resource.h"

BEGIN_MESSAGE_MAP(CKeyhavenApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CKeyhavenApp theApp;

BOOL CKeyhavenApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControls();

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    CDialog dlg(IDD_KEYHAVEN_DIALOG);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // FALSE ends the process without a message loop of the framework's own.
    return FALSE;
}
