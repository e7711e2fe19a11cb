#pragma once
// Names a page supplies become one path component inside the folder meant for them.
#include <string>
#include <vector>

namespace qm {

// What a name that is empty (or only "." and blanks) after cleaning becomes.
inline constexpr wchar_t kUnknownFileName[] = L"UnKnown";

// Separators, drive and stream colons, wildcards, quotes, angle brackets, bars and control characters become
// "_"; trailing dots and blanks and leading blanks go; "." and ".." parts cannot remain; a reserved device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without an extension) gets a "_" in front.
std::wstring SafeComponent(const std::wstring& name);

// The platform opens a device, not a file, for CON, PRN, AUX, NUL, COM1-9, LPT1-9 (superscript 1-3 as well),
// CONIN$ and CONOUT$, in any case, also before a dot and with blanks before it.
bool IsReservedDeviceName(const std::wstring& name);

// True when the name is already a component SafeComponent leaves unchanged.
bool IsSafeComponent(const std::wstring& name);

// File types that run code or macros when opened: programs, scripts, shortcuts, installers, shell and search
// descriptions that reach other machines, Office add-ins and macro-enabled documents and templates. Lower case,
// with the dot. The platform's own judgement is asked as well; this list holds whether or not it answers.
const std::vector<std::wstring>& CodeRunningTypes();
// The name's type (its last extension, any letter case, trailing dots and blanks ignored) is on that list.
bool IsCodeRunningType(const std::wstring& fileName);

}  // namespace qm
