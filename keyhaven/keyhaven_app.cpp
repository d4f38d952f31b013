// keyhaven_app.cpp - CKeyhavenApp: the command line, the search for a running
// instance, and the whole life of the process as one modal run of the
// settings dialog.
#include "keyhaven_app.h"

#include <mbstring.h>

#include "keyhaven_dlg.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CKeyhavenApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CKeyhavenApp theApp;

namespace {

bool SameWordIgnoringCase(const CString& word, const char* expected)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(word)),
                    reinterpret_cast<const unsigned char*>(expected)) == 0;
}

int StartModeOf(const CString& word)
{
    if (SameWordIgnoringCase(word, "Close")) return START_CLOSE;
    if (SameWordIgnoringCase(word, "Instant")) return START_INSTANT;
    return START_NORMAL;
}

}  // namespace

BOOL CKeyhavenApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControls();

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    // Looked for before this process's own dialog exists. Starts at the same
    // moment take turns: each holds the lock until its dialog has its caption.
    InstanceLock instanceLock;
    instanceLock.Acquire();
    CString title;
    title.LoadString(IDS_APP_TITLE);
    HWND hPrevWnd = ::FindWindowA(NULL, title);

    CKeyhavenDlg* pDlg = new CKeyhavenDlg;
    pDlg->SetStartMode(StartModeOf(cmdInfo.m_strFileName), hPrevWnd);
    pDlg->SetInstanceLock(&instanceLock);
    m_pMainWnd = pDlg;
    pDlg->DoModal();
    delete pDlg;
    m_pMainWnd = NULL;
    // FALSE ends the process without a message loop of the framework's own.
    return FALSE;
}
