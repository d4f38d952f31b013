// app.h - the application object, the command line and the Afx helper functions.
//
// The program defines one global object of a CWinApp-derived class. The
// framework's WinMain constructs nothing: it calls that object's InitInstance
// and, when InitInstance returns FALSE, ends the process (with ExitInstance's
// result); when it returns TRUE, Run pumps messages until WM_QUIT.
#pragma once

#include "wnd.h"

class CCommandLineInfo {
public:
    CCommandLineInfo() {}
    virtual ~CCommandLineInfo() {}

    // Called for each argument after the program name, flags without their
    // leading '/' or '-'. The first argument that is not a flag becomes
    // m_strFileName; everything else is ignored.
    virtual void ParseParam(LPCTSTR pszParam, BOOL bFlag, BOOL bLast);

    CString m_strFileName;
};

class CWinApp : public CCmdTarget {
public:
    // The application's name (message box captions) is the executable's name
    // without its extension.
    CWinApp();
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    // The process's exit code: the WM_QUIT code when one ended the last message
    // loop, else 0.
    virtual int ExitInstance();
    // Pumps messages until WM_QUIT, then returns ExitInstance().
    virtual int Run();

    // Feeds the process's arguments (__argc, __argv) to rCmdInfo.ParseParam.
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);

    // ID_HELP: opens the contents of the application's help file (the
    // executable's path with .HLP).
    afx_msg void OnHelp();

    HINSTANCE m_hInstance;
    LPCTSTR m_pszAppName;
    CWnd* m_pMainWnd;

protected:
    // The three-dimensional control look is the system's own: nothing to do.
    BOOL Enable3dControls() { return TRUE; }

    DECLARE_MESSAGE_MAP()

private:
    CWinApp(const CWinApp&);
    CWinApp& operator=(const CWinApp&);

    CString m_strAppName;
    CString m_strHelpFilePath;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The module holding resource lpszName of type lpszType: the program's own.
HINSTANCE AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);

// A message box owned by the main window (its last active popup), captioned
// with the application's name; MB_OK and the other button sets without an
// icon get the exclamation icon, as in MFC.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// Control containers (ActiveX) are not supported: a no-op kept for the program's start-up.
inline void AfxEnableControlContainer() {}

// One step of a message loop: GetMessage, the pre-translation by the windows
// from the message's target up to the main window, dispatch. FALSE when the
// message taken was WM_QUIT (which is then posted again for the loops outside).
BOOL AfxPumpMessage();
// The message AfxPumpMessage took last.
const MSG* AfxGetCurrentMessage();
// Idle-time work of a message loop: deletes the temporary handle objects.
void AfxOnIdle();
