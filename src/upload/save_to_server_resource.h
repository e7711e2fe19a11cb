#pragma once
// Resource ids of the Save to Server dialog, shared by its template and its code.
#define IDD_SAVE_TO_SERVER 105
#define IDC_STS_SAVE 1
#define IDC_STS_CANCEL 2
#define IDC_STS_FILE_NAME 207
#define IDC_STS_UNUSED_EDIT 220
// The dialog's end code for Save.
#define IDR_STS_SAVE 1102
