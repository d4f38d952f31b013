// app.cpp - CWinApp, CCommandLineInfo, the Afx functions, the message pump and WinMain.
//
// WinMain lives here, beside CWinApp, so that linking the program's
// application object also brings in the entry point.
#include "app.h"

#include <commctrl.h>
#include <stdlib.h>

namespace {

CWinApp* g_pApp = NULL;
MSG g_msgCur;  // the message AfxPumpMessage took last

CString ModuleFileName()
{
    CString path;
    DWORD nLength = ::GetModuleFileName(NULL, path.GetBufferSetLength(MAX_PATH), MAX_PATH + 1);
    path.ReleaseBuffer(static_cast<int>(nLength));
    return path;
}

// The file name without folder and extension.
CString BaseName(const CString& path)
{
    LPCTSTR pszName = path;
    for (LPCTSTR p = path; *p != '\0'; p = ::CharNext(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') pszName = ::CharNext(p);
    }
    CString name(pszName);
    LPCTSTR pszDot = NULL;
    for (LPCTSTR p = name; *p != '\0'; p = ::CharNext(p)) {
        if (*p == '.') pszDot = p;
    }
    return pszDot != NULL ? CString(name, static_cast<int>(pszDot - static_cast<LPCTSTR>(name))) : name;
}

// path with its extension (if any) replaced by ext.
CString WithExtension(const CString& path, LPCTSTR ext)
{
    LPCTSTR pszDot = NULL;
    for (LPCTSTR p = path; *p != '\0'; p = ::CharNext(p)) {
        if (*p == '.') pszDot = p;
        if (*p == '\\' || *p == '/') pszDot = NULL;
    }
    int nStem = pszDot != NULL ? static_cast<int>(pszDot - static_cast<LPCTSTR>(path)) : path.GetLength();
    return CString(path, nStem) + ext;
}

// Lets the windows from the message's target up to the main window filter it.
BOOL PreTranslateForWindows(MSG* pMsg)
{
    CWnd* pMainWnd = AfxGetMainWnd();
    HWND hWndStop = pMainWnd != NULL ? pMainWnd->m_hWnd : NULL;
    for (HWND hWnd = pMsg->hwnd; hWnd != NULL; hWnd = ::GetParent(hWnd)) {
        CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
        if (pWnd != NULL && pWnd->PreTranslateMessage(pMsg)) return TRUE;
        if (hWnd == hWndStop) break;
    }
    return FALSE;
}

}  // namespace

/////////////////////////////////////////////////////////////////////////////
// CCommandLineInfo

void CCommandLineInfo::ParseParam(LPCTSTR pszParam, BOOL bFlag, BOOL)
{
    if (!bFlag && m_strFileName.IsEmpty()) m_strFileName = pszParam;
}

/////////////////////////////////////////////////////////////////////////////
// CWinApp

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp() : m_hInstance(NULL), m_pMainWnd(NULL)
{
    g_pApp = this;
    CString path = ModuleFileName();
    m_strAppName = BaseName(path);
    m_strHelpFilePath = WithExtension(path, ".HLP");
    m_pszAppName = m_strAppName;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this) g_pApp = NULL;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance()
{
    return g_msgCur.message == WM_QUIT ? static_cast<int>(g_msgCur.wParam) : 0;
}

int CWinApp::Run()
{
    for (;;) {
        MSG msg;
        if (!::PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE)) AfxOnIdle();
        if (!AfxPumpMessage()) return ExitInstance();
    }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo)
{
    for (int i = 1; i < __argc; ++i) {
        LPCTSTR pszParam = __argv[i];
        BOOL bFlag = pszParam[0] == '-' || pszParam[0] == '/';
        if (bFlag) ++pszParam;
        rCmdInfo.ParseParam(pszParam, bFlag, i + 1 == __argc);
    }
}

void CWinApp::OnHelp()
{
    ::WinHelp(m_pMainWnd != NULL ? m_pMainWnd->m_hWnd : NULL, m_strHelpFilePath, HELP_FINDER, 0);
}

/////////////////////////////////////////////////////////////////////////////
// Afx functions

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp != NULL ? g_pApp->m_pMainWnd : NULL; }

HINSTANCE AfxFindResourceHandle(LPCTSTR, LPCTSTR)
{
    if (g_pApp != NULL && g_pApp->m_hInstance != NULL) return g_pApp->m_hInstance;
    return ::GetModuleHandle(NULL);
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT)
{
    if ((nType & MB_ICONMASK) == 0) {
        switch (nType & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
        case MB_YESNO:
        case MB_YESNOCANCEL:
            nType |= MB_ICONEXCLAMATION;
            break;
        }
    }
    LPCTSTR lpszCaption = g_pApp != NULL ? g_pApp->m_pszAppName : NULL;
    return ::MessageBox(CWnd::GetSafeOwner(NULL), lpszText, lpszCaption, nType);
}

const MSG* AfxGetCurrentMessage() { return &g_msgCur; }

BOOL AfxPumpMessage()
{
    if (!::GetMessage(&g_msgCur, NULL, 0, 0)) {
        // Pass the quit request on to the loops around this one.
        ::PostQuitMessage(static_cast<int>(g_msgCur.wParam));
        return FALSE;
    }
    if (!PreTranslateForWindows(&g_msgCur)) {
        ::TranslateMessage(&g_msgCur);
        ::DispatchMessage(&g_msgCur);
    }
    return TRUE;
}

void AfxOnIdle() { CWnd::DeleteTempMap(); }

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);
    if (g_pApp == NULL) return -1;
    g_pApp->m_hInstance = hInstance;
    int nReturnCode = g_pApp->InitInstance() ? g_pApp->Run() : g_pApp->ExitInstance();
    CWnd::DeleteTempMap();
    return nReturnCode;
}
