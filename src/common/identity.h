#pragma once
#include "quillmark_version.h"

// Fixed identities of the module's classes, interfaces and type library, as registry texts.
// The IDL carries the same values; a test under Wine checks that they agree.

namespace qm {

inline constexpr wchar_t kLibidText[] = L"{E118B428-BDFC-480A-BF3C-EBB46EEB37AE}";
inline constexpr wchar_t kIidFileDragDropText[] = L"{CD8CCCE5-4946-484D-B750-FC03670E6FF1}";
inline constexpr wchar_t kClsidFileDragDropText[] = L"{AECB4DB1-0D1D-426F-90FE-AC44A55EA382}";
inline constexpr wchar_t kIidOutlookDragDropText[] = L"{409A4AF0-9336-4026-B5B0-55C0064CDC37}";
inline constexpr wchar_t kClsidOutlookDragDropText[] = L"{F89B30DA-0019-41AC-99C3-6155DF211817}";

inline constexpr wchar_t kProgId[] = L"Quillmark.FileDragDrop.2";
inline constexpr wchar_t kVersionIndependentProgId[] = L"Quillmark.FileDragDrop";
inline constexpr wchar_t kClassDescription[] = L"FileDragDrop Class";
inline constexpr wchar_t kTypeLibVersionText[] = L"1.0";
inline constexpr wchar_t kTypeLibDescription[] = L"Quillmark 2.0 Type Library";
inline constexpr wchar_t kCatidSafeForScriptingText[] = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
inline constexpr wchar_t kCatidSafeForInitializingText[] = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
inline constexpr wchar_t kAutomationMarshalerText[] = L"{00020424-0000-0000-C000-000000000046}";
inline constexpr wchar_t kVersionText[] = QM_VERSION_PROPERTY_TEXT;

}  // namespace qm
