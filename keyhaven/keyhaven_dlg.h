// keyhaven_dlg.h - CKeyhavenDlg: the settings dialog, and while the feature is
// on, the hidden resident window that follows the Fn key.
//
// The dialog maps its controls to KeyhavenSettings, keeps them in the
// SettingsStore, and forwards the runtime messages to StickyRuntime, whose
// effects (controller, sounds, icon, timer, boxes) it carries out.
//
// keyhaven_dlg.cpp       initialisation, enabling rules, buttons, About, help
// dialog_runtime.cpp     the runtime messages and the effects
#pragma once

#include "afxwin.h"

#include <shellapi.h>

#include "column_combo_box.h"
#include "instance_lock.h"
#include "keyhaven_messages.h"
#include "settings.h"
#include "sticky_runtime.h"

// How the program was started (the command-line word).
enum StartMode { START_NORMAL = 1, START_INSTANT = 2, START_CLOSE = 3 };

// The idle auto-reset timer: id and period.
constexpr UINT_PTR IDT_AUTORESET = 1;
constexpr UINT kAutoResetPeriodMs = kIdleTickSeconds * 1000;

class CKeyhavenDlg : public CDialog, private StickyEffects {
public:
    CKeyhavenDlg();

    // Called once, after construction and before DoModal.
    void SetStartMode(int nStartMode, HWND hPrevWnd);
    // The lock held since the search for a running instance; released once
    // the dialog carries its caption.
    void SetInstanceLock(InstanceLock* pLock) { m_pInstanceLock = pLock; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Dialog handlers.
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnApply();
    afx_msg void OnUnstickClicked();
    afx_msg void OnUseClicked();
    afx_msg void OnOptionChanged();
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);

    // Runtime handlers.
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg LRESULT OnFnPress(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnFnUnlatch(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnCloseRequest(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnInstant(WPARAM wParam, LPARAM lParam);
    afx_msg UINT OnPowerBroadcast(UINT nPowerEvent, LPARAM nEventData);
    afx_msg LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDestroyDialog(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnWindowPosChanging(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // Start-up.
    // True when this start hands over to a running instance or closes: it
    // ends without needing the settings.
    bool EndsAtOnce() const;
    void HandleStartMode();
    void AddAboutItemToSystemMenu();
    void PrepareNotifyIcon();
    void LoadTexts();
    void ShowSettings(const KeyhavenSettings& settings);
    void FillIdleMinutesList(int nMinutes);

    // Settings: the controls as one value, and the saves.
    KeyhavenSettings ReadControls() const;
    void SaveSettings();
    void SaveAppliedSettings();
    void RestoreFnState();
    void ApplySettings();

    // StickyEffects.
    virtual int EnableStickyKey();
    virtual int DisableStickyKey();
    virtual int FnKeyDown();
    virtual int FnKeyUp();
    virtual void PlaySound(const char* file);
    virtual void ShowIcon(DWORD message, FnIcon icon);
    virtual void RemoveIcon();
    virtual void StartIdleTimer();
    virtual void StopIdleTimer();
    virtual void ReportError(const char* text);
    virtual void Quit();

    // Control helpers.
    BOOL IsChecked(const CButton& box) const;
    void EnableOptionBoxes(BOOL bEnable);
    void EnableIdleMinutes(BOOL bEnable);

    // Controls, bound in this order.
    CButton m_btnApply;
    CButton m_btnOK;
    CButton m_btnCancel;
    CColumnComboBox m_cbIdleMinutes;
    CStatic m_stMinutes;
    CStatic m_stDescription;
    CButton m_grpSetting;
    CButton m_grpOptions;
    CButton m_grpReset;
    CButton m_chkUseFnSticky;
    CButton m_chkUnstickIdle;
    CButton m_chkSoundPress;
    CButton m_chkShowStatus;
    CButton m_chkSoundReset;
    CButton m_chkLockTwice;

    HICON m_hIcon;
    HWND m_hPrevWnd;
    int m_nStartMode;
    // Set by HandleStartMode when this start ends at once: its dialog then
    // stays hidden and inactive.
    bool m_bStaysHidden;
    UINT_PTR m_nTimerId;
    NOTIFYICONDATAA m_nid;
    InstanceLock* m_pInstanceLock;
    SettingsStore m_store;
    // The settings as last loaded or saved with the controls: what a
    // suspend stores, whatever the controls hold meanwhile.
    KeyhavenSettings m_saved;
    StickyRuntime m_runtime;
};
