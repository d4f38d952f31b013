// sticky_runtime.cpp - what the dialog does while it is resident: applying the
// settings to the keyboard controller, following the Fn key through released,
// latched and locked, the notification-area icon, the sounds, the idle
// auto-reset, and suspend and resume.
#include "keyhaven_dlg.h"

#include <mmsystem.h>

#include "latchwire.h"
#include "resource.h"

namespace {

const char kSoundLatch[] = "keyTmpLock.wav";
const char kSoundLock[] = "keyLock.wav";
const char kSoundRelease[] = "keyUnlock.wav";
const char kSoundReset[] = "Disable.wav";

constexpr UINT kSecondsPerMinute = 60;

}  // namespace

void CKeyhavenDlg::PlaySound(const char* pszFile)
{
    ::PlaySoundA(pszFile, NULL, SND_FILENAME);
}

void CKeyhavenDlg::SetNotifyIcon(UINT nIconId, DWORD dwMessage)
{
    LPCSTR icon = MAKEINTRESOURCEA(nIconId);
    m_nid.hIcon = ::LoadIconA(AfxFindResourceHandle(icon, RT_GROUP_ICON), icon);
    Shell_NotifyIconA(dwMessage, &m_nid);
}

void CKeyhavenDlg::RemoveNotifyIcon()
{
    Shell_NotifyIconA(NIM_DELETE, &m_nid);
}

void CKeyhavenDlg::QuitAfterFailure(const char* pszMessage)
{
    AfxMessageBox(pszMessage, 0);
    PostMessage(WM_QUIT);
}

void CKeyhavenDlg::ApplySettings()
{
    if (IsChecked(m_chkUseFnSticky)) {
        ApplyFeatureOn();
    } else {
        ApplyFeatureOff();
    }
    SaveSettings();
    m_btnApply.EnableWindow(FALSE);
    m_btnOK.SetFocus();
}

void CKeyhavenDlg::ApplyFeatureOn()
{
    m_bEnabled = 1;
    // On failure the settings are still applied and saved as switched on
    // before the posted WM_QUIT ends the program.
    if (!Enable_StickyKey()) QuitAfterFailure("Enable StickyKey fail!");
    m_bLockTwice = IsChecked(m_chkLockTwice);
    m_bSoundOnPress = IsChecked(m_chkSoundPress);
    if (IsChecked(m_chkShowStatus)) {
        SetNotifyIcon(IDI_FN_OFF, NIM_ADD);
        m_bShowStatus = 1;
    } else {
        RemoveNotifyIcon();
        m_bShowStatus = 0;
    }
    if (IsChecked(m_chkUnstickIdle)) {
        m_nIdleSeconds = 0;
        m_nTimerId = SetTimer(IDT_AUTORESET, kAutoResetPeriodMs, NULL);
        m_bAutoReset = 1;
        m_nIdleLimit = static_cast<UINT>(m_cbIdleMinutes.GetCurSel() + 1) * kSecondsPerMinute;
        m_bResetSound = IsChecked(m_chkSoundReset);
    } else {
        m_bAutoReset = 0;
        KillTimer(m_nTimerId);
    }
}

void CKeyhavenDlg::ApplyFeatureOff()
{
    m_bEnabled = 0;
    KillTimer(m_nTimerId);
    FnKeyUP();
    if (!Disable_StickyKey()) QuitAfterFailure("Disable StickyKey fail!");
    RemoveNotifyIcon();
}

// Every step to FN_RELEASED caused by an Fn message.
void CKeyhavenDlg::ReleaseFn()
{
    m_nFnState = FN_RELEASED;
    SetNotifyIcon(IDI_FN_OFF, NIM_MODIFY);
    if (!FnKeyUP()) AfxMessageBox("Fn key up error", 0);
    if (m_bSoundOnPress) PlaySound(kSoundRelease);
}

LRESULT CKeyhavenDlg::OnFnPress(WPARAM, LPARAM)
{
    m_nIdleSeconds = 0;
    const int before = m_nFnState;
    m_nFnState = before + 1;
    if (before == FN_RELEASED) {
        if (m_bSoundOnPress) PlaySound(kSoundLatch);
        SetNotifyIcon(IDI_FN_ON, NIM_MODIFY);
        if (!FnKeyDown()) AfxMessageBox("Fn key down error", 0);
    } else if (before == FN_LATCHED && m_bLockTwice) {
        if (m_bSoundOnPress) PlaySound(kSoundLock);
    } else {
        ReleaseFn();
    }
    return 0;
}

LRESULT CKeyhavenDlg::OnFnUnlatch(WPARAM, LPARAM)
{
    m_nIdleSeconds = 0;
    if (m_nFnState == FN_LATCHED) ReleaseFn();
    return 0;
}

void CKeyhavenDlg::OnTimer(UINT_PTR nIDEvent)
{
    (void)nIDEvent;
    m_nIdleSeconds += kAutoResetStepSeconds;
    if (m_nIdleSeconds >= m_nIdleLimit && m_bAutoReset) {
        KillTimer(m_nTimerId);
        if (!Disable_StickyKey()) AfxMessageBox("Disable StickyKey fail!", 0);
        RemoveNotifyIcon();
        if (IsChecked(m_chkSoundReset)) PlaySound(kSoundReset);
        m_chkUseFnSticky.SetCheck(BST_UNCHECKED);
        SaveSettings();
        PostMessage(WM_QUIT);
    }
    Default();
}

LRESULT CKeyhavenDlg::OnInstant(WPARAM, LPARAM)
{
    m_chkUseFnSticky.SetCheck(BST_CHECKED);
    m_chkLockTwice.SetCheck(BST_CHECKED);
    m_chkSoundPress.SetCheck(BST_CHECKED);
    m_chkShowStatus.SetCheck(BST_CHECKED);
    m_chkUnstickIdle.SetCheck(BST_UNCHECKED);
    m_chkSoundReset.SetCheck(BST_CHECKED);
    ApplySettings();
    ShowWindow(SW_HIDE);
    return 0;
}

LRESULT CKeyhavenDlg::OnCloseRequest(WPARAM, LPARAM)
{
    FnKeyUP();
    Disable_StickyKey();
    RemoveNotifyIcon();
    CDialog::OnCancel();
    return 0;
}

UINT CKeyhavenDlg::OnPowerBroadcast(UINT nPowerEvent, LPARAM)
{
    if (nPowerEvent == PBT_APMQUERYSUSPEND) {
        SaveSettings();
    } else if (nPowerEvent == PBT_APMRESUMESUSPEND) {
        RestoreFnState();
    }
    return 0;
}
