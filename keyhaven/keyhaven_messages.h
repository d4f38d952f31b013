/*
 * Window messages that reach Keyhaven's settings dialog from outside its own
 * code: the keyboard component's Fn events, the requests of a second start of
 * the program, and the notification-area callback. Plain C, so outside tools
 * can include it.
 */
#ifndef KEYHAVEN_MESSAGES_H
#define KEYHAVEN_MESSAGES_H

#include <windows.h>

#define WM_TRAY_NOTIFY       (WM_USER + 1) /* 0x401: notification-area callback, not handled */
#define WM_KEYHAVEN_CLOSE    (WM_USER + 2) /* 0x402: sent by a "Close" start */
#define WM_KEYHAVEN_INSTANT  (WM_USER + 3) /* 0x403: posted by an "Instant" start to itself */
#define WM_FN_PRESS          0x4400        /* the Fn key was pressed */
#define WM_FN_UNLATCH1       0x4401        /* a latched Fn key was used */
#define WM_FN_UNLATCH2       0x4402

/* The Fn key as the program follows it (registry value FnKeyStatus). */
#define FN_RELEASED 0
#define FN_LATCHED  1
#define FN_LOCKED   2

#endif
