// app.cpp - CWinApp, CCommandLineInfo, the Afx functions, the message pump and WinMain.
//
// WinMain lives here, beside CWinApp, so that linking the program's
// application object also brings in the entry point.
#include "app.h"

#include <commctrl.h>
#include <stdlib.h>

namespace {

const UINT kAppTitleStringId = 0xE000;  // optional string naming the application

CWinApp* g_pApp = NULL;
MSG g_msgCur;  // the message AfxPumpMessage took last

CString ModuleFileName()
{
    CString path;
    DWORD nLength = ::GetModuleFileName(NULL, path.GetBuffer(MAX_PATH), MAX_PATH + 1);
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

// Lets the windows from the message's target up to hWndStop filter it.
BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg)
{
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

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_hInstance(NULL), m_lpCmdLine(NULL), m_nCmdShow(SW_SHOWNORMAL), m_pMainWnd(NULL)
{
    g_pApp = this;
    CString path = ModuleFileName();
    m_strExeName = BaseName(path);
    m_strHelpFilePath = WithExtension(path, ".HLP");
    if (lpszAppName != NULL)
        m_strAppName = lpszAppName;
    else if (!m_strAppName.LoadString(kAppTitleStringId))
        m_strAppName = m_strExeName;
    m_pszAppName = m_strAppName;
    m_pszExeName = m_strExeName;
    m_pszHelpFilePath = m_strHelpFilePath;
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

BOOL CWinApp::PreTranslateMessage(MSG* pMsg)
{
    return WalkPreTranslateTree(m_pMainWnd != NULL ? m_pMainWnd->m_hWnd : NULL, pMsg);
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

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    LPCTSTR lpszName = MAKEINTRESOURCE(nIDResource);
    return ::LoadIcon(AfxFindResourceHandle(lpszName, RT_GROUP_ICON), lpszName);
}

void CWinApp::WinHelp(DWORD_PTR dwData, UINT nCmd)
{
    HWND hWndMain = m_pMainWnd != NULL ? m_pMainWnd->m_hWnd : NULL;
    ::WinHelp(hWndMain, m_pszHelpFilePath, nCmd, dwData);
}

void CWinApp::OnHelp()
{
    WinHelp(0, HELP_FINDER);
}

/////////////////////////////////////////////////////////////////////////////
// Afx functions

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp != NULL ? g_pApp->m_pMainWnd : NULL; }

HINSTANCE AfxGetInstanceHandle()
{
    if (g_pApp != NULL && g_pApp->m_hInstance != NULL) return g_pApp->m_hInstance;
    return ::GetModuleHandle(NULL);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

HINSTANCE AfxFindResourceHandle(LPCTSTR, LPCTSTR) { return AfxGetResourceHandle(); }

LPCTSTR AfxGetAppName()
{
    if (g_pApp != NULL) return g_pApp->m_pszAppName;
    static CString strExeName = BaseName(ModuleFileName());
    return strExeName;
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
    return ::MessageBox(CWnd::GetSafeOwner(NULL), lpszText, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString text;
    text.LoadString(nIDPrompt);
    return AfxMessageBox(text, nType, nIDHelp == (UINT)-1 ? nIDPrompt : nIDHelp);
}

const MSG* AfxGetCurrentMessage() { return &g_msgCur; }

BOOL AfxPumpMessage()
{
    if (!::GetMessage(&g_msgCur, NULL, 0, 0)) {
        // Pass the quit request on to the loops around this one.
        ::PostQuitMessage(static_cast<int>(g_msgCur.wParam));
        return FALSE;
    }
    BOOL bTaken = g_pApp != NULL ? g_pApp->PreTranslateMessage(&g_msgCur)
                                 : WalkPreTranslateTree(NULL, &g_msgCur);
    if (!bTaken) {
        ::TranslateMessage(&g_msgCur);
        ::DispatchMessage(&g_msgCur);
    }
    return TRUE;
}

void AfxOnIdle() { CWnd::DeleteTempMap(); }

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPTSTR lpCmdLine, int nCmdShow)
{
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);
    if (g_pApp == NULL) return FALSE;
    g_pApp->m_hInstance = hInstance;
    g_pApp->m_lpCmdLine = lpCmdLine;
    g_pApp->m_nCmdShow = nCmdShow;
    return TRUE;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow)
{
    if (!AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow)) return -1;
    int nReturnCode = g_pApp->InitInstance() ? g_pApp->Run() : g_pApp->ExitInstance();
    CWnd::DeleteTempMap();
    return nReturnCode;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
