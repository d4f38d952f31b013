/*
 * The facts by which other programs find and drive Keyhaven: the caption of
 * its dialog, the per-user settings key with its values, and the mutex that
 * orders the instance check of simultaneous starts. Plain C, so the tools and
 * the tests include it as well.
 */
#ifndef KEYHAVEN_IDENTITY_H
#define KEYHAVEN_IDENTITY_H

/* The English caption (string IDS_APP_TITLE) by which a start finds a running instance. */
#define KEYHAVEN_TITLE "ORVENTA Accessibility"

/* Under HKEY_CURRENT_USER. */
#define KEYHAVEN_SETTINGS_KEY "Software\\Orventa\\Accessibility"

#define KEYHAVEN_VALUE_ENABLE      "FnKeyEnable"
#define KEYHAVEN_VALUE_STATUS      "FnKeyStatus"
#define KEYHAVEN_VALUE_LOCK        "FnKeyLock"
#define KEYHAVEN_VALUE_SOUND       "FnMakeSound"
#define KEYHAVEN_VALUE_SHOW_STATUS "FnShowStatus"
#define KEYHAVEN_VALUE_UNSTICK     "FnUnStick"
#define KEYHAVEN_VALUE_RESET_SOUND "FnResetSound"
#define KEYHAVEN_VALUE_RESET_TIME  "FnResetTime"

/* Held by a starting instance from its search for a running one until its own caption is set. */
#define KEYHAVEN_INSTANCE_MUTEX "Local\\Keyhaven Instance Check"

#endif
