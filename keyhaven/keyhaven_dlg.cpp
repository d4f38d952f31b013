// keyhaven_dlg.cpp - the settings dialog: initialisation from the resources and
// the registry, the rules that enable the controls, OK, Cancel, Apply, the
// About item, the minimised icon and context help.
#include "keyhaven_dlg.h"

#include <shlobj.h>

#include "about_box.h"
#include "dialog_texts.h"
#include "resource.h"

namespace {

// Context help: each control maps to its own id; (0, 0) ends the table.
const DWORD HelpIdMap[] = {
    IDC_APPLY, IDC_APPLY,
    IDC_USE_FNSTICKY, IDC_USE_FNSTICKY,
    IDC_LOCK_TWICE, IDC_LOCK_TWICE,
    IDC_SOUND_PRESS, IDC_SOUND_PRESS,
    IDC_SHOW_STATUS, IDC_SHOW_STATUS,
    IDC_UNSTICK_IDLE, IDC_UNSTICK_IDLE,
    IDC_SOUND_RESET, IDC_SOUND_RESET,
    IDC_IDLE_MINUTES, IDC_IDLE_MINUTES,
    IDOK, IDOK,
    IDCANCEL, IDCANCEL,
    0, 0,
};

const char kHelpFileUnderProgramFiles[] = "\\ORVENTA\\Accessibility\\KEYHAVEN.HLP";

// Sent to every top-level window when the shell (and its notification area) starts again.
const UINT WM_TASKBARCREATED = ::RegisterWindowMessageA("TaskbarCreated");

}  // namespace

BEGIN_MESSAGE_MAP(CKeyhavenDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_APPLY, OnApply)
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_UNSTICK_IDLE, OnUnstickClicked)
    ON_BN_CLICKED(IDC_USE_FNSTICKY, OnUseClicked)
    ON_WM_CTLCOLOR()
    ON_WM_HELPINFO()
    ON_BN_CLICKED(IDC_LOCK_TWICE, OnOptionChanged)
    ON_BN_CLICKED(IDC_SOUND_RESET, OnOptionChanged)
    ON_BN_CLICKED(IDC_SHOW_STATUS, OnOptionChanged)
    ON_BN_CLICKED(IDC_SOUND_PRESS, OnOptionChanged)
    ON_CBN_SELCHANGE(IDC_IDLE_MINUTES, OnOptionChanged)
    ON_MESSAGE(WM_FN_PRESS, OnFnPress)
    ON_MESSAGE(WM_FN_UNLATCH1, OnFnUnlatch)
    ON_MESSAGE(WM_FN_UNLATCH2, OnFnUnlatch)
    ON_MESSAGE(WM_KEYHAVEN_CLOSE, OnCloseRequest)
    ON_WM_POWERBROADCAST()
    ON_MESSAGE(WM_KEYHAVEN_INSTANT, OnInstant)
    ON_REGISTERED_MESSAGE(WM_TASKBARCREATED, OnTaskbarCreated)
    ON_MESSAGE(WM_DESTROY, OnDestroyDialog)
    ON_MESSAGE(WM_WINDOWPOSCHANGING, OnWindowPosChanging)
END_MESSAGE_MAP()

CKeyhavenDlg::CKeyhavenDlg()
    : CDialog(IDD_KEYHAVEN_DIALOG, NULL),
      m_hIcon(NULL),
      m_hPrevWnd(NULL),
      m_nStartMode(START_NORMAL),
      m_bStaysHidden(false),
      m_nTimerId(0),
      m_pInstanceLock(NULL),
      m_runtime(*this)
{
    ZeroMemory(&m_nid, sizeof m_nid);
    LPCSTR icon = MAKEINTRESOURCEA(IDI_KEYHAVEN);
    m_hIcon = ::LoadIconA(AfxFindResourceHandle(icon, RT_GROUP_ICON), icon);
}

void CKeyhavenDlg::SetStartMode(int nStartMode, HWND hPrevWnd)
{
    m_nStartMode = nStartMode;
    m_hPrevWnd = hPrevWnd;
}

void CKeyhavenDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_APPLY, m_btnApply);
    DDX_Control(pDX, IDOK, m_btnOK);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_IDLE_MINUTES, m_cbIdleMinutes);
    DDX_Control(pDX, IDC_MINUTES_LABEL, m_stMinutes);
    DDX_Control(pDX, IDC_DESCRIPTION, m_stDescription);
    DDX_Control(pDX, IDC_GROUP_SETTING, m_grpSetting);
    DDX_Control(pDX, IDC_GROUP_OPTIONS, m_grpOptions);
    DDX_Control(pDX, IDC_GROUP_RESET, m_grpReset);
    DDX_Control(pDX, IDC_USE_FNSTICKY, m_chkUseFnSticky);
    DDX_Control(pDX, IDC_UNSTICK_IDLE, m_chkUnstickIdle);
    DDX_Control(pDX, IDC_SOUND_PRESS, m_chkSoundPress);
    DDX_Control(pDX, IDC_SHOW_STATUS, m_chkShowStatus);
    DDX_Control(pDX, IDC_SOUND_RESET, m_chkSoundReset);
    DDX_Control(pDX, IDC_LOCK_TWICE, m_chkLockTwice);
}

BOOL CKeyhavenDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AddAboutItemToSystemMenu();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    PrepareNotifyIcon();

    CString title;
    title.LoadString(IDS_APP_TITLE);
    SetWindowText(title);
    // From here on a start finds this instance by its caption.
    if (m_pInstanceLock != NULL) m_pInstanceLock->Release();

    if (!m_store.Load(m_runtime.FnState(), &m_saved)) {
        AfxMessageBox("Missing registry!", 0);
        // Ending at once needs no settings; a start that stays keeps the
        // dialog as the template made it.
        if (EndsAtOnce()) HandleStartMode();
        return FALSE;
    }
    LoadTexts();
    ShowSettings(m_saved);
    FillIdleMinutesList(m_saved.resetMinutes);

    m_btnApply.EnableWindow(FALSE);
    HandleStartMode();
    // A dialog that is never shown takes no focus.
    return m_bStaysHidden ? FALSE : TRUE;
}

void CKeyhavenDlg::AddAboutItemToSystemMenu()
{
    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu == NULL) return;
    CString about;
    about.LoadString(IDS_ABOUTBOX);
    if (about.IsEmpty()) return;
    pSysMenu->AppendMenu(MF_SEPARATOR);
    pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
}

void CKeyhavenDlg::PrepareNotifyIcon()
{
    constexpr DWORD kNotifyIconRecordSize = 488;  // with the balloon fields, without the GUID
    ZeroMemory(&m_nid, sizeof m_nid);
    m_nid.cbSize = kNotifyIconRecordSize;
    m_nid.hWnd = m_hWnd;
    m_nid.uID = 1;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
    LPCSTR icon = MAKEINTRESOURCEA(IDI_FN_OFF);
    m_nid.hIcon = ::LoadIconA(AfxFindResourceHandle(icon, RT_GROUP_ICON), icon);
}

void CKeyhavenDlg::LoadTexts()
{
    for (int i = 0; i < kSettingsTextCount; ++i) {
        CString text;
        text.LoadString(kSettingsTexts[i].stringId);
        SetDlgItemText(kSettingsTexts[i].controlId, text);
    }
}

void CKeyhavenDlg::ShowSettings(const KeyhavenSettings& settings)
{
    m_chkUseFnSticky.SetCheck(settings.enabled ? BST_CHECKED : BST_UNCHECKED);
    m_chkLockTwice.SetCheck(settings.lockTwice ? BST_CHECKED : BST_UNCHECKED);
    m_chkSoundPress.SetCheck(settings.soundOnPress ? BST_CHECKED : BST_UNCHECKED);
    m_chkShowStatus.SetCheck(settings.showStatus ? BST_CHECKED : BST_UNCHECKED);
    m_chkUnstickIdle.SetCheck(settings.unstick ? BST_CHECKED : BST_UNCHECKED);
    m_chkSoundReset.SetCheck(settings.resetSound ? BST_CHECKED : BST_UNCHECKED);
    if (!settings.enabled) {
        EnableOptionBoxes(FALSE);
        EnableIdleMinutes(FALSE);
    }
    if (!settings.unstick) EnableIdleMinutes(FALSE);
}

void CKeyhavenDlg::FillIdleMinutesList(int nMinutes)
{
    m_cbIdleMinutes.SetColumnCount(1);
    m_cbIdleMinutes.SetColumnWidth(0, 10);
    for (int minutes = 1; minutes <= kIdleMinuteChoices; ++minutes) {
        CString item;
        item.Format("%d", minutes);
        m_cbIdleMinutes.AddString(item);
    }
    m_cbIdleMinutes.SetCurSel(nMinutes - 1);
}

KeyhavenSettings CKeyhavenDlg::ReadControls() const
{
    KeyhavenSettings settings;
    settings.enabled = IsChecked(m_chkUseFnSticky) != FALSE;
    settings.fnState = m_runtime.FnState();
    settings.lockTwice = IsChecked(m_chkLockTwice) != FALSE;
    settings.soundOnPress = IsChecked(m_chkSoundPress) != FALSE;
    settings.showStatus = IsChecked(m_chkShowStatus) != FALSE;
    settings.unstick = IsChecked(m_chkUnstickIdle) != FALSE;
    settings.resetSound = IsChecked(m_chkSoundReset) != FALSE;
    settings.resetMinutes = ValidResetMinutes(m_cbIdleMinutes.GetCurSel() + 1);
    return settings;
}

BOOL CKeyhavenDlg::IsChecked(const CButton& box) const
{
    return box.GetCheck() == BST_CHECKED;
}

void CKeyhavenDlg::EnableIdleMinutes(BOOL bEnable)
{
    m_cbIdleMinutes.EnableWindow(bEnable);
    m_stMinutes.EnableWindow(bEnable);
}

void CKeyhavenDlg::EnableOptionBoxes(BOOL bEnable)
{
    m_chkLockTwice.EnableWindow(bEnable);
    m_chkSoundPress.EnableWindow(bEnable);
    m_chkShowStatus.EnableWindow(bEnable);
    m_chkUnstickIdle.EnableWindow(bEnable);
    m_chkSoundReset.EnableWindow(bEnable);
}

bool CKeyhavenDlg::EndsAtOnce() const
{
    return m_hPrevWnd != NULL || m_nStartMode == START_CLOSE;
}

void CKeyhavenDlg::HandleStartMode()
{
    m_bStaysHidden = EndsAtOnce();
    switch (m_nStartMode) {
    case START_INSTANT:
        if (m_hPrevWnd != NULL) {
            ::SwitchToThisWindow(m_hPrevWnd, TRUE);
            PostMessage(WM_QUIT);
        } else {
            PostMessage(WM_KEYHAVEN_INSTANT);
        }
        break;
    case START_CLOSE:
        if (m_hPrevWnd != NULL) ::SendMessageA(m_hPrevWnd, WM_KEYHAVEN_CLOSE, 0, 0);
        PostMessage(WM_QUIT);
        break;
    default:
        if (m_hPrevWnd != NULL) {
            ::ShowWindow(m_hPrevWnd, SW_SHOWNORMAL);
            ::SwitchToThisWindow(m_hPrevWnd, TRUE);
            PostMessage(WM_QUIT);
        }
        break;
    }
}

// A start that ends at once is never shown nor activated, not even for the
// moment until its quit message is taken: the window it brought forward
// keeps the foreground, and with it the keyboard, while this one goes away.
LRESULT CKeyhavenDlg::OnWindowPosChanging(WPARAM, LPARAM lParam)
{
    if (m_bStaysHidden) {
        WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        pos->flags &= ~SWP_SHOWWINDOW;
        pos->flags |= SWP_NOACTIVATE;
    }
    return Default();
}

void CKeyhavenDlg::OnUseClicked()
{
    if (IsChecked(m_chkUseFnSticky)) {
        EnableOptionBoxes(TRUE);
        if (IsChecked(m_chkUnstickIdle)) EnableIdleMinutes(TRUE);
    } else {
        EnableOptionBoxes(FALSE);
        EnableIdleMinutes(FALSE);
    }
    m_btnApply.EnableWindow(TRUE);
}

void CKeyhavenDlg::OnUnstickClicked()
{
    EnableIdleMinutes(IsChecked(m_chkUnstickIdle));
    m_btnApply.EnableWindow(TRUE);
}

void CKeyhavenDlg::OnOptionChanged()
{
    m_btnApply.EnableWindow(TRUE);
}

void CKeyhavenDlg::OnApply()
{
    ApplySettings();
}

void CKeyhavenDlg::OnOK()
{
    if (IsChecked(m_chkUseFnSticky)) {
        ApplySettings();
        if (!m_runtime.Closed()) ShowWindow(SW_HIDE);
        return;
    }
    m_runtime.Leave();
    if (m_runtime.Closed()) return;
    SaveSettings();
    CDialog::OnOK();
}

void CKeyhavenDlg::OnCancel()
{
    const KeyhavenSettings& applied = m_runtime.Applied();
    m_chkLockTwice.SetCheck(applied.lockTwice ? BST_CHECKED : BST_UNCHECKED);
    m_chkSoundPress.SetCheck(applied.soundOnPress ? BST_CHECKED : BST_UNCHECKED);
    m_chkShowStatus.SetCheck(applied.showStatus ? BST_CHECKED : BST_UNCHECKED);
    m_chkUnstickIdle.SetCheck(applied.unstick ? BST_CHECKED : BST_UNCHECKED);
    EnableIdleMinutes(applied.unstick);
    m_chkSoundReset.SetCheck(applied.resetSound ? BST_CHECKED : BST_UNCHECKED);
    if (!applied.enabled) {
        CDialog::OnCancel();
        return;
    }
    m_chkUseFnSticky.SetCheck(BST_CHECKED);
    EnableOptionBoxes(TRUE);
    ShowWindow(SW_HIDE);
}

void CKeyhavenDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutBox about;
        about.DoModal();
        return;
    }
    CDialog::OnSysCommand(nID, lParam);
}

void CKeyhavenDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CKeyhavenDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

HBRUSH CKeyhavenDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

BOOL CKeyhavenDlg::OnHelpInfo(HELPINFO* pHelpInfo)
{
    char folder[MAX_PATH];
    CString path;
    if (SUCCEEDED(SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES, NULL, 0, folder))) {
        path = folder;
        path += kHelpFileUnderProgramFiles;
    }
    return ::WinHelpA(static_cast<HWND>(pHelpInfo->hItemHandle), path, HELP_WM_HELP,
                      reinterpret_cast<ULONG_PTR>(HelpIdMap));
}
