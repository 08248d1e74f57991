// Resource and control identifiers of the window: dialog templates, the About item's string,
// the icon and the controls. Shared by the resource script and the code.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_VANTEL3UPDATER_DIALOG 102
#define IDD_MAIN_VIEW 103
#define IDD_UPDATE_VIEW 104
#define IDD_END_VIEW 106
#define IDD_RESTORE_VIEW 107
#define IDD_CHECK_VIEW 108

// The About item's text in the system menu.
#define IDS_ABOUTBOX 101
// The About item's command (16); 17 to 31 open the About box as well.
#define IDM_ABOUTBOX 0x0010

// The application icon: one 256 x 256 image, 32-bit colour.
#define IDR_MAINFRAME 139

// Controls.
#define IDC_VIEW_FRAME 1000
#define IDC_MAIN_LABEL 1001
#define IDC_NEXT_BUTTON 1002
#define IDC_UPDATE_PROGRESS 1005
#define IDC_UPDATE_LABEL 1006
#define IDC_END_LABEL 1008
#define IDC_END_BUTTON 1009
#define IDC_RESTORE_LABEL 1010
#define IDC_RESTORE_PROGRESS 1011
#define IDC_CHECK_LABEL 1012
#define IDC_ABOUT_ICON 1013
#define IDC_ABOUT_TEXT 1014

// The progress message: its second parameter is the bar's new position, 0 to 100.
#define WM_UPDATE_PROGRESS (0x0400 + 1)
