// Identifiers shared by the window's resources and its code. A button and the
// menu item that does the same thing share one command identifier.
#pragma once

#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101
#define IDD_PROPERTIES 102
#define IDC_FACTS 103

#define IDM_REFRESH 1001
#define IDM_STOP 1002
#define IDM_RUNAS 1003
#define IDM_EXIT 1004
#define IDM_DISABLE 1010
#define IDM_ENABLE 1011
#define IDM_REMOVE 1012
#define IDM_RESTORE 1013
#define IDM_GOTO 1014
#define IDM_COPYPATH 1015
#define IDM_COPYROW 1016
#define IDM_PROPERTIES 1017
#define IDM_HIDEWHITELISTED 1020
#define IDM_FINDFILTER 1021

#define IDC_LIST 2001
#define IDC_FILTER 2002
#define IDC_FILTERLABEL 2003
#define IDC_PROGRESS 2004
#define IDC_STATUS 2005
