#pragma once
// Drop handling on a document window, set up once per window.
#include <windows.h>
#include <mshtml.h>

namespace qm {

// Sets up the shell drop entry, or the OLE drop target when outlookSupport is set; a window already set up is
// left as it is. Throws on failure.
void SetUpDropHandling(HWND documentWindow, bool outlookSupport, IHTMLDocument2* document);

}  // namespace qm
