/*
 * resource.h - resource symbols of Keyhaven.exe.
 *
 * The one home of every resource id: included by the resource script
 * (Keyhaven.rc) and by the program's C++ sources. Plain #defines only, so
 * that both the C/C++ compilers and the resource compiler can read it.
 */
#ifndef KEYHAVEN_RES_RESOURCE_H
#define KEYHAVEN_RES_RESOURCE_H

/* Dialog templates. */
#define IDD_ABOUTBOX                100   /* About box, classic template */
#define IDD_KEYHAVEN_DIALOG         102   /* settings dialog, extended template */

/* String table (ids 101-111 form block 7, ids 112-119 block 8). */
#define IDS_ABOUTBOX                101   /* system-menu item that opens the About box */
#define IDS_GROUP_SETTING           102
#define IDS_DESCRIPTION             103
#define IDS_GROUP_OPTIONS           104
#define IDS_GROUP_RESET             105
#define IDS_LOCK_TWICE              106
#define IDS_USE_FNSTICKY            107
#define IDS_SOUND_PRESS             108
#define IDS_SHOW_STATUS             109
#define IDS_UNSTICK_IDLE            110
#define IDS_MINUTES                 111
#define IDS_SOUND_RESET             112
#define IDS_COPYRIGHT               113   /* copyright notice of the About box */
#define IDS_OK                      114
#define IDS_CANCEL                  115
#define IDS_APPLY                   116
#define IDS_APP_TITLE               117   /* caption; a second start finds the first by it */
#define IDS_VERSION_PREFIX          118
#define IDS_ABOUT_CAPTION           119

/* Icon groups. */
#define IDI_FN_KEY                  128   /* first icon group: the file's shell icon */
#define IDI_FN_ON                   135   /* tray: Fn key latched down */
#define IDI_FN_OFF                  136   /* tray: Fn key up */
#define IDI_KEYHAVEN                137   /* window icon of the settings dialog */

/* Banner bitmaps of the settings dialog. */
#define IDB_BANNER_LEFT             141
#define IDB_BANNER_RIGHT            142

/* System-menu command of the settings dialog (low four bits clear). */
#define IDM_ABOUTBOX                0x0010

/* Controls. */
#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif
#define IDC_APPLY                   1000
#define IDC_GROUP_SETTING           1001
#define IDC_USE_FNSTICKY            1002
#define IDC_LOCK_TWICE              1003
#define IDC_SOUND_PRESS             1004
#define IDC_SHOW_STATUS             1005
#define IDC_UNSTICK_IDLE            1006
#define IDC_SOUND_RESET             1007
#define IDC_IDLE_MINUTES            1009
#define IDC_DESCRIPTION             1010
#define IDC_GROUP_OPTIONS           1011
#define IDC_GROUP_RESET             1012
#define IDC_MINUTES_LABEL           1013
#define IDC_VERSION_TEXT            1019   /* About box: version line */
#define IDC_NOTICE_TEXT             1020   /* About box: copyright notice */
#define IDC_FN_ICON                 128    /* settings dialog: the Fn key icon static */

#endif /* KEYHAVEN_RES_RESOURCE_H */
