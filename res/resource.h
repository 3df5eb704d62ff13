// Resource identifiers of QVSetup.exe: dialog templates, controls, icon,
// licence text and pictures.
#pragma once

// Dialog templates.
#define IDD_SETUP_FRAME             102
#define IDD_CONTRACT_PAGE           103
#define IDD_INSTALL_PAGE            104
#define IDD_SUCCESS_PAGE            105
#define IDD_FAIL_PAGE               106

// Icon, licence text (string table) and pictures (resource type "GIF").
#define IDI_PROGRAM                 128
#define IDS_LICENCE_TEXT            129
#define IDR_GIF_WELCOME             128
#define IDR_GIF_INSTALL             137
#define IDR_GIF_SUCCESS             138
#define IDR_GIF_FAIL                139

// Controls.
#define IDC_PAGE_AREA               1000
#define IDC_LICENCE_TEXT            1001
#define IDC_AGREE                   1002
#define IDC_DISAGREE                1003
#define IDC_NEXT                    1004
#define IDC_CANCEL_DONE             1005
#define IDC_STATUS_TEXT             1007
#define IDC_INSTALL_PROGRESS        1008
#define IDC_RUN_PRODUCT             1010
#define IDC_INSTALL_ANIMATION       1011
#define IDC_WELCOME_PICTURE         1012
#define IDC_SUCCESS_PICTURE         1013
#define IDC_FAIL_PICTURE            1014
#define IDC_LICENCE_NOTICE          1015
#define IDC_BUTTON_SEPARATOR        1016
#define IDC_INSTALL_TITLE           1017
#define IDC_STATUS_LABEL            1018
#define IDC_FAIL_REASON             1019

// Texts the program sets at run time (string table, system code page).
#define IDS_DONE_CAPTION            130
// Status line of the install page; %s is a file name.
#define IDS_STATUS_DOWNLOADING      131
#define IDS_STATUS_SERVER_FAILED    132
#define IDS_STATUS_FILE_ERROR       133
// Why nothing came from the servers, after the connection message above:
// in the order of UpdateFailure (update/UpdateEngine.h).
#define IDS_STATUS_PROXY_REFUSED    134
#define IDS_STATUS_NOT_A_RELEASE    135
#define IDS_STATUS_BAD_SIGNATURE    136
// The proxy text with the proxy's name (%s).
#define IDS_STATUS_PROXY_NAMED      137
