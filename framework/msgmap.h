// msgmap.h - message maps: the tables that route window messages, commands and
// control notifications to member functions.
//
// A class that handles messages writes DECLARE_MESSAGE_MAP() in its declaration
// and, in its source file,
//
//     BEGIN_MESSAGE_MAP(CMyDialog, CDialog)
//         ON_WM_TIMER()
//         ON_BN_CLICKED(IDC_APPLY, OnApply)
//         ON_MESSAGE(WM_FN_PRESS, OnFnPress)
//     END_MESSAGE_MAP()
//
// Handlers are named as in MFC 4.2 code: the bare member name (OnApply) or a
// qualified one (CWinApp::OnHelp), without '&'. Each entry holds a small thunk
// that unpacks the message into the handler's typed arguments, so a handler of
// the wrong signature does not compile. A class's map is searched before its
// base class's; the first matching entry wins. ON_WM_xxx handlers have MFC's
// names and signatures (OnTimer(UINT_PTR), OnSysCommand(UINT, LPARAM), ...).
#pragma once

#include <windows.h>

class CCmdTarget;

// Marks message handlers in class declarations, as in MFC.
#define afx_msg

#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019  // key of ON_WM_CTLCOLOR: stands for WM_CTLCOLORMSGBOX..WM_CTLCOLORSTATIC
#endif
#ifndef CN_COMMAND
#define CN_COMMAND 0  // notification code of menu, accelerator and button commands
#endif
#ifndef ID_HELP
#define ID_HELP 0xE146  // the framework's Help command
#endif

// Calls one handler: unpacks the message, stores the handler's result in
// *pResult and returns TRUE (the message counts as handled).
typedef BOOL (*AFX_MSGHANDLER)(CCmdTarget* pTarget, UINT nMsg, WPARAM wParam, LPARAM lParam,
                               LRESULT* pResult);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;                    // window message; WM_COMMAND for commands and notifications
    UINT nCode;                       // notification code (WM_COMMAND entries)
    UINT nID;                         // first command or control id (WM_COMMAND entries)
    UINT nLastID;                     // last command or control id
    const UINT* pnRegisteredMessage;  // ON_REGISTERED_MESSAGE: the variable holding the message
    AFX_MSGHANDLER pfnHandler;        // NULL ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // NULL for the root class
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                          \
protected:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();      \
    virtual const AFX_MSGMAP* GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                   \
    {                                                                                 \
        typedef theClass ThisClass;                                                   \
        typedef baseClass TheBaseClass;                                               \
        static_assert(sizeof(ThisClass) > 0, "complete class");                      \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                             \
            { 0, 0, 0, 0, NULL, NULL }                                                \
        };                                                                            \
        static const AFX_MSGMAP messageMap = { &TheBaseClass::GetThisMessageMap,      \
                                               &_messageEntries[0] };                 \
        return &messageMap;                                                           \
    }

// The thunk of one entry; `call` uses pThis, nMsg, wParam, lParam and pResult.
#define AFX_MSG_THUNK(call)                                                           \
    [](CCmdTarget* pTarget, UINT nMsg, WPARAM wParam, LPARAM lParam,                  \
       LRESULT* pResult) -> BOOL {                                                    \
        ThisClass* pThis = static_cast<ThisClass*>(pTarget);                          \
        (void)nMsg; (void)wParam; (void)lParam; (void)pResult;                        \
        call;                                                                         \
        return TRUE;                                                                  \
    }

#define AFX_WM_ENTRY(message, call) { (UINT)(message), 0, 0, 0, NULL, AFX_MSG_THUNK(call) },

// Commands and control notifications (WM_COMMAND): void handler().
#define ON_COMMAND(id, memberFxn) \
    { WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(id), NULL, AFX_MSG_THUNK(pThis->memberFxn()) },
#define ON_CONTROL(wNotifyCode, id, memberFxn) \
    { WM_COMMAND, (UINT)(wNotifyCode), (UINT)(id), (UINT)(id), NULL, AFX_MSG_THUNK(pThis->memberFxn()) },
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)

// Any message, private ones included: LRESULT handler(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) \
    AFX_WM_ENTRY(message, *pResult = pThis->memberFxn(wParam, lParam))
// A message from RegisterWindowMessage, read from its variable at dispatch time.
#define ON_REGISTERED_MESSAGE(nMessageVariable, memberFxn) \
    { 0, 0, 0, 0, &(nMessageVariable), AFX_MSG_THUNK(*pResult = pThis->memberFxn(wParam, lParam)) },

// Window messages, with MFC's handler names and signatures.
#define ON_WM_TIMER() AFX_WM_ENTRY(WM_TIMER, pThis->OnTimer(static_cast<UINT_PTR>(wParam)))
#define ON_WM_PAINT() AFX_WM_ENTRY(WM_PAINT, pThis->OnPaint())
#define ON_WM_SYSCOMMAND() \
    AFX_WM_ENTRY(WM_SYSCOMMAND, pThis->OnSysCommand(static_cast<UINT>(wParam), lParam))
#define ON_WM_QUERYDRAGICON() \
    AFX_WM_ENTRY(WM_QUERYDRAGICON, *pResult = reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon()))
#define ON_WM_HELPINFO() \
    AFX_WM_ENTRY(WM_HELP, *pResult = pThis->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam)))
#define ON_WM_POWERBROADCAST() \
    AFX_WM_ENTRY(WM_POWERBROADCAST, *pResult = pThis->OnPowerBroadcast(static_cast<UINT>(wParam), lParam))
#define ON_WM_DRAWITEM() \
    AFX_WM_ENTRY(WM_DRAWITEM, pThis->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)))
#define ON_WM_MEASUREITEM() \
    AFX_WM_ENTRY(WM_MEASUREITEM, pThis->OnMeasureItem(static_cast<int>(wParam), reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)))
#define ON_WM_DELETEITEM() \
    AFX_WM_ENTRY(WM_DELETEITEM, pThis->OnDeleteItem(static_cast<int>(wParam), reinterpret_cast<LPDELETEITEMSTRUCT>(lParam)))
#define ON_WM_COMPAREITEM() \
    AFX_WM_ENTRY(WM_COMPAREITEM, *pResult = pThis->OnCompareItem(static_cast<int>(wParam), reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam)))
// Every WM_CTLCOLORxxx message; nCtlColor is CTLCOLOR_MSGBOX .. CTLCOLOR_STATIC.
#define ON_WM_CTLCOLOR()                                                              \
    AFX_WM_ENTRY(WM_CTLCOLOR, *pResult = reinterpret_cast<LRESULT>(pThis->OnCtlColor( \
        CDC::FromHandle(reinterpret_cast<HDC>(wParam)),                                \
        CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), nMsg - WM_CTLCOLORMSGBOX)))
#define ON_WM_NCDESTROY() AFX_WM_ENTRY(WM_NCDESTROY, pThis->OnNcDestroy())
