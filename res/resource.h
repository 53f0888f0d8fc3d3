// Resource symbols of Setup.exe. Numbers are fixed: code and tests address
// every resource by number.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_SETUP_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_COPY_DIALOG 129
#define IDR_AVI_COPY 132

// Setup's version, in its version resource and in its log.
#define SETUP_VERSION 1, 0, 0, 1
#define SETUP_VERSION_TEXT "1, 0, 0, 1"

#define IDS_ABOUTBOX 101
#define IDS_LICENSE1 102
#define IDS_LICENSE2 103
#define IDS_LICENSE3 104
#define IDS_LICENSE4 105
#define IDS_LICENSE5 106
#define IDS_LICENSE6 107
#define IDS_LICENSE7 108
#define IDS_LICENSE8 109
#define IDS_LICENSE9 110
#define IDS_LICENSE10 111
#define IDS_CONFIRM_EXIT 120
#define IDS_UPGRADE_DONE 121
#define IDS_WRONG_VERSION 122
#define IDS_ALREADY_NEWEST 123
#define IDS_UPGRADE_INCOMPLETE 124
#define IDS_FILE_ERROR 125
#define IDS_SETUP_RUNNING 126
#define IDS_UPGRADE_RESTART 127
#define IDS_CLOSE_PROGRAMS 128
// What a screen reader calls the licence text box.
#define IDS_LICENCE_NAME 129
// After the first few programs' names: how many more (a number) there are.
#define IDS_MORE_PROGRAMS 130

#define IDC_LICENSE 1001
#define IDC_ANIMATE 1002

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
