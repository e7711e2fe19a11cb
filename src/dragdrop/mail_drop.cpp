#include "dragdrop/mail_drop.h"

#include <cwctype>

#include "localfiles/safe_names.h"

namespace qm {

namespace {

constexpr std::wstring_view kReplacedCharacters = L":\\/*?\"><|";
// A selection is never this large; the bound keeps a client whose count keeps growing from holding the page.
constexpr long kMaxSelectedItems = 10000;


std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}


void TrimTrailingDotsAndBlanks(std::wstring& name) {
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
}

}  // namespace

std::wstring MailNameOfSubject(const std::wstring& subject) {
    std::wstring name = subject;
    for (auto& c : name)
        if (c < 0x20 || c == 0x7f || kReplacedCharacters.find(c) != std::wstring_view::npos) c = L' ';
    TrimTrailingDotsAndBlanks(name);
    if (name.find_first_not_of(L' ') == std::wstring::npos) return kUntitledMailName;
    // In front, as for every name: "LPT9.report_" would still be the device.
    if (IsReservedDeviceName(name)) name.insert(name.begin(), L'_');
    return name;
}

std::optional<std::wstring> MailFileNames::PathFor(const std::wstring& subject) {
    const std::wstring base = MailNameOfSubject(subject);
    const std::wstring extension = kMailFileExtension;
    for (int number = 1; number <= kMaxSelectedItems + 1; ++number) {
        const std::wstring suffix = number == 1 ? std::wstring() : L" (" + std::to_wstring(number) + L")";
        const std::size_t fixed = folder_.size() + suffix.size() + extension.size();
        if (fixed >= kMaxPathChars) return std::nullopt;
        std::wstring name = base.substr(0, kMaxPathChars - fixed);
        // Cutting may leave a trailing dot or blank, which the platform would drop from the name.
        TrimTrailingDotsAndBlanks(name);
        if (name.empty()) name = std::wstring(kUntitledMailName).substr(0, kMaxPathChars - fixed);
        const std::wstring file = name + suffix + extension;
        if (used_.insert(Lower(file)).second) return folder_ + file;
    }
    return std::nullopt;
}

std::optional<MailDropResult> SaveSelectedMail(MailClient& client, const std::wstring& folder) {
    const std::unique_ptr<MailSelection> selection = client.ActiveSelection();
    if (!selection) return std::nullopt;
    MailDropResult result;
    MailFileNames names(folder);
    // The count is read again every round: the user may change the selection while items are saved.
    for (long index = 1; index <= kMaxSelectedItems; ++index) {
        const std::optional<long> count = selection->Count();
        if (!count || index > *count) break;
        const std::unique_ptr<MailItem> item = selection->Item(index);
        if (!item || !item->IsMail()) {
            ++result.leftOut;
            continue;
        }
        const std::optional<std::wstring> subject = item->Subject();
        const std::optional<std::wstring> path = subject ? names.PathFor(*subject) : std::nullopt;
        if (!path || !item->SaveAs(*path)) {
            ++result.leftOut;
            continue;
        }
        result.files.push_back(*path);
    }
    return result;
}

}  // namespace qm
