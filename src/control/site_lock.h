#pragma once
// An administrator's list of the page hosts that may script the control. Without a list every page may, as
// before; with one, a page from any other host gets an object that does nothing.
#include <optional>
#include <string>
#include <vector>

namespace qm {

// The hosts of a list text: entries separated by ";", ",", blanks or line ends; lower case, a trailing dot
// dropped. An entry "*.example.com" stands for every host below example.com (not example.com itself).
std::vector<std::wstring> ParseAllowedHosts(const std::wstring& text);

// Whether a page at `pageAddress` may use the control. No list (nullopt) allows every page; with a list, only
// pages whose host is on it, and never an address without a usable host (a file on disk, a bad address).
bool PageAllowed(const std::optional<std::vector<std::wstring>>& allowed, const std::wstring& pageAddress);

}  // namespace qm
