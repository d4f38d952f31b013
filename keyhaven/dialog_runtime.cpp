// dialog_runtime.cpp - the dialog's side of the resident runtime: applying
// and saving the settings, forwarding the runtime messages to StickyRuntime,
// and carrying out its effects on the controller, the sounds, the
// notification-area icon, the idle timer and the message boxes.
#include "keyhaven_dlg.h"

#include <mmsystem.h>

#include "latchwire.h"
#include "resource.h"

void CKeyhavenDlg::SaveSettings()
{
    m_saved = ReadControls();
    m_store.Save(m_saved);
}

// A suspend stores the settings in effect with the current Fn state, never
// edits that were not applied.
void CKeyhavenDlg::SaveAppliedSettings()
{
    KeyhavenSettings settings = m_saved;
    settings.fnState = m_runtime.FnState();
    m_store.Save(settings);
}

void CKeyhavenDlg::RestoreFnState()
{
    StoredFnState stored;
    if (m_store.ReadFnState(&stored)) m_runtime.Resume(stored);
}

void CKeyhavenDlg::ApplySettings()
{
    m_runtime.Apply(ReadControls());
    if (m_runtime.Closed()) return;
    SaveSettings();
    m_btnApply.EnableWindow(FALSE);
    m_btnOK.SetFocus();
}

LRESULT CKeyhavenDlg::OnFnPress(WPARAM, LPARAM)
{
    m_runtime.FnPress();
    return 0;
}

LRESULT CKeyhavenDlg::OnFnUnlatch(WPARAM, LPARAM)
{
    m_runtime.FnUnlatch();
    return 0;
}

void CKeyhavenDlg::OnTimer(UINT_PTR nIDEvent)
{
    (void)nIDEvent;
    // The reset sound follows the box as it is now, applied or not.
    if (m_runtime.IdleTick(IsChecked(m_chkSoundReset) != FALSE)) {
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
    if (!m_runtime.Closed()) ShowWindow(SW_HIDE);
    return 0;
}

// Ends the program without saving, also from inside a message box or the
// About box: the quit message ends every modal loop on the way out.
LRESULT CKeyhavenDlg::OnCloseRequest(WPARAM, LPARAM)
{
    m_runtime.CloseRequest();
    CDialog::OnCancel();
    ::PostQuitMessage(0);
    return 0;
}

UINT CKeyhavenDlg::OnPowerBroadcast(UINT nPowerEvent, LPARAM)
{
    if (m_runtime.Closed()) return 0;
    if (nPowerEvent == PBT_APMQUERYSUSPEND || nPowerEvent == PBT_APMSUSPEND) {
        m_runtime.Suspend();
        SaveAppliedSettings();
    } else if (nPowerEvent == PBT_APMRESUMESUSPEND || nPowerEvent == PBT_APMRESUMEAUTOMATIC) {
        if (m_runtime.ResumePending()) RestoreFnState();
    }
    return 0;
}

LRESULT CKeyhavenDlg::OnTaskbarCreated(WPARAM, LPARAM)
{
    m_runtime.ShellRestarted();
    return 0;
}

// No icon outlives the dialog, whichever way the program ends; one that is
// already gone is not removed again.
LRESULT CKeyhavenDlg::OnDestroyDialog(WPARAM, LPARAM)
{
    m_runtime.DropIcon();
    return Default();
}

int CKeyhavenDlg::EnableStickyKey() { return ::Enable_StickyKey(); }
int CKeyhavenDlg::DisableStickyKey() { return ::Disable_StickyKey(); }
int CKeyhavenDlg::FnKeyDown() { return ::FnKeyDown(); }
int CKeyhavenDlg::FnKeyUp() { return ::FnKeyUP(); }

void CKeyhavenDlg::PlaySound(const char* file)
{
    ::PlaySoundA(file, NULL, SND_FILENAME);
}

void CKeyhavenDlg::ShowIcon(DWORD message, FnIcon icon)
{
    LPCSTR id = MAKEINTRESOURCEA(icon);
    m_nid.hIcon = ::LoadIconA(AfxFindResourceHandle(id, RT_GROUP_ICON), id);
    Shell_NotifyIconA(message, &m_nid);
}

void CKeyhavenDlg::RemoveIcon()
{
    Shell_NotifyIconA(NIM_DELETE, &m_nid);
}

void CKeyhavenDlg::StartIdleTimer()
{
    m_nTimerId = SetTimer(IDT_AUTORESET, kAutoResetPeriodMs, NULL);
}

void CKeyhavenDlg::StopIdleTimer()
{
    KillTimer(m_nTimerId);
}

void CKeyhavenDlg::ReportError(const char* text)
{
    AfxMessageBox(text, 0);
}

void CKeyhavenDlg::Quit()
{
    PostMessage(WM_QUIT);
}
