// about_box.h - CAboutBox: the program's About box (template IDD_ABOUTBOX).
//
// Shows the icon, a version line (the localised prefix, a blank and the text
// of the machine-wide registry value "version"), the copyright notice and an
// OK button. F1 opens no help from here.
#pragma once

#include "afxwin.h"

class CAboutBox : public CDialog {
public:
    // No parent: while it runs, the application's main window owns it.
    CAboutBox();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // Caption from the string table; without the registry key the two statics
    // and the OK button keep their template texts.
    virtual BOOL OnInitDialog();
    // Handles F1 itself (returns FALSE) so the request never reaches the owner.
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);

    DECLARE_MESSAGE_MAP()

private:
    CButton m_btnOK;
    CStatic m_staticNotice;
    CStatic m_staticVersion;
};
