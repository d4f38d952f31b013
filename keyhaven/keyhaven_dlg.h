// keyhaven_dlg.h - CKeyhavenDlg: the settings dialog, and while the feature is
// on, the hidden resident window that follows the Fn key.
//
// keyhaven_dlg.cpp       initialisation, enabling rules, buttons, About, help
// settings_store.cpp     the per-user registry key: load, save, restore
// sticky_runtime.cpp     ApplySettings, the Fn state machine, idle reset, power
#pragma once

#include "afxwin.h"

#include <shellapi.h>

#include "column_combo_box.h"
#include "keyhaven_messages.h"

// How the program was started (the command-line word).
enum StartMode { START_NORMAL = 1, START_INSTANT = 2, START_CLOSE = 3 };

// The idle auto-reset timer: id and period.
constexpr UINT_PTR IDT_AUTORESET = 1;
constexpr UINT kAutoResetPeriodMs = 5000;
constexpr UINT kAutoResetStepSeconds = 5;

class CKeyhavenDlg : public CDialog {
public:
    CKeyhavenDlg();

    // Called once, after construction and before DoModal.
    void SetStartMode(int nStartMode, HWND hPrevWnd);

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

    DECLARE_MESSAGE_MAP()

private:
    // Start-up.
    void HandleStartMode();
    void AddAboutItemToSystemMenu();
    void PrepareNotifyIcon();
    void LoadTextsAndValues(HKEY hKey);
    void FillIdleMinutesList(HKEY hKey);

    // Settings store.
    HKEY OpenOrCreateSettingsKey();
    void SaveSettings();
    void RestoreFnState();

    // Runtime.
    void ApplySettings();
    void ApplyFeatureOn();
    void ApplyFeatureOff();
    void ReleaseFn();
    void SetNotifyIcon(UINT nIconId, DWORD dwMessage);
    void RemoveNotifyIcon();
    void PlaySound(const char* pszFile);
    void QuitAfterFailure(const char* pszMessage);

    // Control helpers.
    BOOL IsChecked(const CButton& box) const;
    void SetText(CWnd& control, UINT nStringId);
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
    // Applied settings: 0 or 1, set only by ApplySettings.
    int m_bResetSound;
    int m_bEnabled;
    int m_bSoundOnPress;
    int m_bLockTwice;
    int m_bShowStatus;
    int m_bAutoReset;
    int m_nStartMode;
    int m_nFnState;
    UINT_PTR m_nTimerId;
    UINT m_nIdleLimit;    // seconds
    UINT m_nIdleSeconds;  // seconds, counted in steps of 5
    NOTIFYICONDATAA m_nid;
};
