// afxwin.h - the application framework: a small MFC-style layer on raw Win32.
//
// Program code includes this one header. The framework offers the classes and
// calls the program uses, with MFC's names and observable behaviour:
//   cstring.h   CString
//   msgmap.h    message maps (BEGIN_MESSAGE_MAP, ON_COMMAND, ON_WM_xxx, ON_MESSAGE, ...)
//   wnd.h       CCmdTarget, CWnd: subclassing, message routing, owner-draw reflection
//   gdi.h       CRect, CDC, CPaintDC, CImageList
//   menu.h      CMenu
//   controls.h  CButton, CStatic, CComboBox
//   dialog.h    CDialog and its modal loop, CDataExchange, DDX_Control
//   app.h       CWinApp, CCommandLineInfo, WinMain, AfxMessageBox and the other Afx functions
// It is built for the ANSI character set, as the program is.
#pragma once

#if defined(UNICODE) || defined(_UNICODE)
#error "The framework is built for the ANSI character set: do not define UNICODE."
#endif

#include <windows.h>
#include <commctrl.h>

#include "cstring.h"
#include "msgmap.h"
#include "wnd.h"
#include "gdi.h"
#include "menu.h"
#include "controls.h"
#include "dialog.h"
#include "app.h"
