#pragma once
// The mail client reached through its automation object model by name ("Outlook.Application"), without its
// headers or type library.
#include <windows.h>

#include <memory>
#include <string>

#include "dragdrop/mail_drop.h"

namespace qm {

inline constexpr wchar_t kMailClientProgId[] = L"Outlook.Application";

std::unique_ptr<MailClient> MakeAutomationMailClient();

// A new folder of its own for one drop's saved message files, in the control's mail folder under the user's
// temporary folder, with a trailing separator. Empty when it cannot be had.
std::wstring MailDropFolder();

}  // namespace qm
