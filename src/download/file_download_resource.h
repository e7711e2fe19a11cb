#pragma once
// Resource ids of the File Download dialog, shared by its template and its code.
#define IDD_FILE_DOWNLOAD 104
#define IDC_FD_OPEN 1
#define IDC_FD_CANCEL 2
#define IDC_FD_FILE_NAME 201
#define IDC_FD_TYPE 202
#define IDC_FD_SOURCE 203
#define IDC_FD_HEADER 205
#define IDC_FD_EDIT_MODE 209
#define IDC_FD_SAVE 210
#define IDC_FD_ICON 215
#define IDC_FD_FOOTER 224
