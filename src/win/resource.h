// Resource and control identifiers of the native windows: shared by the
// resource script (tarnel_win.rc), the windows and their tests.
#pragma once

// --- Icons, menus, accelerators -------------------------------------------------
#define IDI_TARNEL 1
#define IDR_MAINMENU 100
#define IDR_CODECMENUS 101
#define IDR_ACCELERATORS 102

// The main window's menu bar.
#define IDM_EXIT 40001
#define IDM_PREFERENCES 40002
#define IDM_REFRESH 40003
#define IDM_CONTENTS 40004
#define IDM_ABOUT 40005

// The codec lists' popup menus (IDR_CODECMENUS: popup 0 the active list's,
// popup 1 the inactive list's).
#define IDM_CONFIGURE 40101
#define IDM_CODECABOUT 40102
#define IDM_DEACTIVATE 40103
#define IDM_SCAN 40104
#define IDM_FOURCCLIST 40105
#define IDM_VERSIONTIPS 40106
#define IDM_SELECTALL 40107
#define IDM_REMOVEINACTIVE 40111
#define IDM_ACTIVATE 40112
#define IDM_SELECTALLINACTIVE 40113

// --- Dialog templates ----------------------------------------------------------
#define IDD_MESSAGE 200
#define IDD_QUESTION 201
#define IDD_PREFERENCES 202
#define IDD_PROGRESS 203
#define IDD_SPLASH 204
#define IDD_FOUND 205
#define IDD_FOURCC 206
#define IDD_LOCKWAIT 207

// --- Controls ---------------------------------------------------------------------
// The header band that tops every dialog and tab panel.
#define IDC_BAND 1000
#define IDC_BAND2 1001

// Main window.
#define IDC_STATUSBAR 1010
#define IDC_PAGES 1011
#define IDC_TABS 1012

// Codec window (the first tab).
#define IDC_CODECPANEL 1020
#define IDC_CODECLIST 1021
#define IDC_SPLITTER 1022
#define IDC_INACTIVELIST 1023

// DirectShow window (the second tab) and the log (the third).
#define IDC_DIRECTSHOWPANEL 1030
#define IDC_FILTERLIST 1031
#define IDC_LOGPANEL 1040
#define IDC_LOGMEMO 1041

// Message dialog.
#define IDC_ICONPANEL 1100
#define IDC_MESSAGEICON 1101
#define IDC_TEXTPANEL 1102
#define IDC_MESSAGETEXT 1103

// Question dialog (its buttons are IDYES, IDNO and IDCANCEL).
#define IDC_PICTUREPANEL 1110
#define IDC_QUESTIONPICTURE 1111
#define IDC_QUESTIONTEXT 1112
#define IDC_BUTTONAREA 1113
#define IDC_YESFRAME 1114
#define IDC_NOFRAME 1115
#define IDC_CANCELFRAME 1116

// Preferences dialog (OK and Cancel are IDOK and IDCANCEL).
#define IDC_SIZEEQUAL 1120
#define IDC_STAYONTOP 1121
#define IDC_SAVEPOSITION 1122
#define IDC_AUTOSWAP 1123
#define IDC_DISABLEDBLCLICK 1124
#define IDC_PREVIEWFONT 1125
#define IDC_FONTLABEL 1126
#define IDC_FONTBOX 1127
#define IDC_FONTSIZELABEL 1128
#define IDC_FONTSIZEEDIT 1129
#define IDC_FONTSIZESPIN 1130

// Progress window.
#define IDC_PROGRESSBAR 1140
#define IDC_PERCENT 1141

// Splash screen and about box.
#define IDC_SPLASHPICTURE 1150
#define IDC_COPYRIGHT 1151
#define IDC_AUTHOR 1152
#define IDC_LOADING 1153
#define IDC_LOADBAR 1154
#define IDC_BUILD 1155
#define IDC_MACHINE 1156
#define IDC_TESTEDON 1157
#define IDC_FREEWARE 1158
#define IDC_MAIL 1159
#define IDC_RECYCLED 1160

// Found-FOURCC dialog (E&xit is IDCANCEL).
#define IDC_FOUNDLIST 1170
#define IDC_ADDFOURCC 1171

// FOURCC list dialog.
#define IDC_FOURCCLIST 1180
#define IDC_FOURCCLABEL 1181
#define IDC_NAMELABEL 1182
#define IDC_OWNERLABEL 1183
#define IDC_NOTESLABEL 1184
#define IDC_FOURCCEDIT 1185
#define IDC_NAMEEDIT 1186
#define IDC_OWNEREDIT 1187
#define IDC_NOTESEDIT 1188
#define IDC_UPDATEBUTTON 1189
#define IDC_ADDBUTTON 1190
#define IDC_SAVEBUTTON 1191
#define IDC_FOURCCSTATUS 1192

// The wait for the machine (its button is IDCANCEL).
#define IDC_WAITTEXT 1200
