// Resource ids of the framework test programs' own resources (test_resources.rc).
#pragma once

#define IDD_HARNESS          500   /* visible dialog with the test controls */
#define IDD_HIDDEN_TEMPLATE  501   /* dialog whose template is not visible */
#define IDD_MISSING          599   /* no such template */

#define IDC_TEST_BUTTON      1101
#define IDC_TEST_COMBO       1102
#define IDC_TEST_STATIC      1103
#define IDC_OWNERDRAW_COMBO  1104  /* owner-drawn, with strings */
#define IDC_PLAIN_COMBO      1105  /* system-drawn and sorted */
#define IDC_NO_SUCH_CONTROL  1199

#define IDS_GREETING         4096  /* English and German (string block 257) */
#define IDS_ENGLISH_ONLY_IN_BLOCK 4097  /* English only, in a block German also has */
#define IDS_ENGLISH_BLOCK    4112  /* block 258 exists in English only */
#define IDS_MISSING          4200
