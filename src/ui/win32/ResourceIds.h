// Identifiers shared by the resource script and the windows made from it. Plain #defines: the
// resource compiler reads this file too.
#pragma once

// Main menu and tray menu commands.
#define IDM_HELP 101
#define IDM_SETTINGS 102
#define IDM_CLOSE 103
#define IDM_START_SERVER 104
#define IDM_STOP_SERVER 105
#define IDM_INSTALL_SERVICE 106
#define IDM_UNINSTALL_SERVICE 107
#define IDM_HOSTS_TEST 108
#define IDM_HOSTS_PROD 109
#define IDM_INSTALL_CA 110
#define IDM_TRAY_START 111
#define IDM_TRAY_STOP 112
#define IDM_CHECK_CONNECTION 113

// The main window's controls.
#define IDC_SERVICE_LABEL 201
#define IDC_LED 202
#define IDC_VERSION 203
#define IDC_WWW 204
#define IDC_LAST_FORWARD 205

// The settings dialog's controls; Cancel and OK are IDCANCEL and IDOK.
#define IDC_MODE_LABEL 301
#define IDC_MODE 302
#define IDC_URL_TEST_LABEL 303
#define IDC_URL_TEST 304
#define IDC_URL_PRODUCTION_LABEL 305
#define IDC_URL_PRODUCTION 306
#define IDC_IP_TEST_LABEL 307
#define IDC_IP_TEST 308
#define IDC_IP_PRODUCTION_LABEL 309
#define IDC_IP_PRODUCTION 310
#define IDC_DNS_SERVER_LABEL 311
#define IDC_DNS_SERVER 312
#define IDC_CALL_DNS 313
#define IDC_FETCH 314
#define IDC_BEVEL 315

// The help window's text.
#define IDC_MEMO 401

// The mode list's items 1 to 3 (item 0 is empty).
#define IDS_MODE_1 501
#define IDS_MODE_2 502
#define IDS_MODE_3 503
