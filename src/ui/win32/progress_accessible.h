#pragma once
// What a screen reader gets for the progress bar: the platform's object for the bar window, with the bar's role and
// its position as a percentage, which not every platform's generic object tells.
#include <windows.h>
#include <oleacc.h>

namespace qm {

// The answer to WM_GETOBJECT for the bar's client object; 0 for any other object, so the platform answers.
LRESULT AnswerProgressBarObject(HWND bar, WPARAM flags, LPARAM objectId);

}  // namespace qm
