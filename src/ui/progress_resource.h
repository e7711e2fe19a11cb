/* Ids of the progress dialog's template; plain macros so that the resource compiler reads them too. */
#ifndef QM_UI_PROGRESS_RESOURCE_H
#define QM_UI_PROGRESS_RESOURCE_H

#define IDD_PROGRESS 103

#define IDC_PROGRESS_BAR 202
#define IDC_PROGRESS_TIMELEFT 204
#define IDC_PROGRESS_STATUS 205
#define IDC_PROGRESS_PATH 212
#define IDC_PROGRESS_RATE 213
#define IDC_PROGRESS_PATH_LABEL 216
#define IDC_PROGRESS_RATE_LABEL 217
#define IDC_PROGRESS_OPEN_FOLDER 218
#define IDC_PROGRESS_OPEN 219
#define IDC_PROGRESS_CLOSE_WHEN_DONE 221
#define IDC_PROGRESS_SCRIPT_REQUEST 223
#define IDC_PROGRESS_CANCEL 2

/* Messages the worker sends to the dialog (synchronously; each answered with 0). */
#define PDM_SETSTATUS 0x8778
#define PDM_STEPIT 0x8779
#define PDM_SETRANGE 0x8780
#define PDM_SETCAPTION 0x8781
#define PDM_SETTIMELEFT 0x8782
#define PDM_SETRATE 0x8783
#define PDM_SETPATH 0x8784

#endif
