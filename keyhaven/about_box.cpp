// about_box.cpp - CAboutBox.
#include "about_box.h"

#include "resource.h"

#include <string.h>

namespace {

const char kVersionKey[] = "Software\\ORVENTA\\Accessibility";
const char kVersionValue[] = "version";
const DWORD kVersionBufferSize = 20;  // bytes, terminator included

// The "version" text of the open key: at most 20 bytes up to the first NUL;
// empty when the value is missing or does not fit.
CString QueryVersionText(HKEY hKey)
{
    char buffer[kVersionBufferSize] = { 0 };
    DWORD cbData = kVersionBufferSize;
    if (::RegQueryValueExA(hKey, kVersionValue, NULL, NULL, reinterpret_cast<LPBYTE>(buffer), &cbData) != ERROR_SUCCESS)
        return CString();
    return CString(buffer, static_cast<int>(strnlen(buffer, kVersionBufferSize)));
}

CString LoadText(UINT nID)
{
    CString text;
    text.LoadString(nID);
    return text;
}

}  // namespace

BEGIN_MESSAGE_MAP(CAboutBox, CDialog)
    ON_WM_HELPINFO()
END_MESSAGE_MAP()

CAboutBox::CAboutBox() : CDialog(IDD_ABOUTBOX) {}

void CAboutBox::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_btnOK);
    DDX_Control(pDX, IDC_NOTICE_TEXT, m_staticNotice);
    DDX_Control(pDX, IDC_VERSION_TEXT, m_staticVersion);
}

BOOL CAboutBox::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(LoadText(IDS_ABOUT_CAPTION));

    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return FALSE;
    CString version = QueryVersionText(hKey);
    ::RegCloseKey(hKey);

    m_staticVersion.SetWindowText(LoadText(IDS_VERSION_PREFIX) + " " + version);
    m_staticNotice.SetWindowText(LoadText(IDS_COPYRIGHT));
    m_btnOK.SetWindowText(LoadText(IDS_OK));
    return TRUE;
}

BOOL CAboutBox::OnHelpInfo(HELPINFO*)
{
    return FALSE;
}
