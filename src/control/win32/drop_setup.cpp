#include "control/win32/drop_setup.h"

namespace qm {

// Drops are not received yet; the shell drop entry and the OLE drop target hook in here.
void SetUpDropHandling(HWND, bool, IHTMLDocument2*) {}

}  // namespace qm
