// The identifiers of korvex.exe's resources: its menu, accelerators and commands.
#pragma once

#define IDR_MAIN_MENU 100
#define IDR_ACCELERATORS 101
#define IDI_KORVEX 1

#define IDM_OPEN 1001
#define IDM_SETTINGS 1002
#define IDM_REMOVE_SECURITY 1003
#define IDM_EXIT 1004
#define IDM_CLEAR_WINDOW 1005
#define IDM_ABOUT 1006
#define IDM_RECENT_NONE 1010
// The recent files, newest first: IDM_RECENT_FIRST, IDM_RECENT_FIRST + 1, ...
#define IDM_RECENT_FIRST 1011

#define IDD_ABOUT 300
#define IDC_ABOUT_BY 301
#define IDC_EMAIL_LINK 302
#define IDC_WEB_LINK 303
#define IDC_LEGAL_TEXT 304

#define IDD_REMOVE_SECURITY 200
#define IDC_REMOVE_DIRECTORY 201
#define IDC_SECURITY_LIST 202
#define IDC_REMOVE_PROBLEM 203
