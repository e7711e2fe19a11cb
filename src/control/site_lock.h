#pragma once
// An administrator's list of the page hosts that may script the control. Without a list every page may, as
// before; with one, a page from any other host gets an object that does nothing.
#include <optional>
#include <string>
#include <vector>

namespace qm {

// The entries of a list text: separated by ";", ",", blanks or line ends; lower case, a trailing dot dropped.
// An entry is [scheme://]host[:port]. "*.example.com" stands for every host below example.com (not example.com
// itself); an IPv6 host is written in brackets.
std::vector<std::wstring> ParseAllowedHosts(const std::wstring& text);

// Whether a page at `pageAddress` may use the control. No list (nullopt) allows every page; with a list, only
// pages served over http or https by a listed host on the listed port: an entry without a scheme allows http on
// port 80 and https on 443 (or either on the port it names), an entry with a scheme allows that scheme only, on
// its default port or the one named. Never an address without a usable host (a file on disk, a bad address); a
// malformed entry allows nothing.
bool PageAllowed(const std::optional<std::vector<std::wstring>>& allowed, const std::wstring& pageAddress);

}  // namespace qm
