#pragma once
// Platform and library headers nearly every Windows file includes; the build parses them once per target.
// Headers that define GUID storage (initguid.h, objsafe.h, msxml2.h) are not here, so each file keeps its order.
#include <windows.h>
#include <commctrl.h>
#include <mshtml.h>
#include <shlobj.h>
#include <wininet.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>
