#pragma once
// Mail items dropped from the mail client: each selected item is saved as a message file and the files are
// what the drop recorded.
#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qm {

// The longest full path the platform's plain file calls take, without the terminating zero.
inline constexpr std::size_t kMaxPathChars = 259;
inline constexpr wchar_t kMailFileExtension[] = L".msg";
// The name an item without a usable subject gets.
inline constexpr wchar_t kUntitledMailName[] = L"Untitled";

// The file name part of a subject: the nine characters : \ / * ? " > < | and control characters become spaces;
// trailing dots and blanks go; a device name (as IsReservedDeviceName judges it) gets "_" in front; nothing
// left gives kUntitledMailName.
std::wstring MailNameOfSubject(const std::wstring& subject);

// Chooses the paths of one drop's message files in a folder (ending with a separator). A name already used in
// this drop gets " (2)", " (3)", ... before the extension, compared without regard to case; the name is cut so
// the whole path fits in kMaxPathChars. Nothing when the folder leaves no room for a name.
class MailFileNames {
public:
    explicit MailFileNames(std::wstring folder) : folder_(std::move(folder)) {}
    std::optional<std::wstring> PathFor(const std::wstring& subject);

private:
    std::wstring folder_;
    std::set<std::wstring> used_;
};

// One selected item of the mail client.
class MailItem {
public:
    virtual ~MailItem() = default;
    // False for items that are not mail messages (meetings, contacts, ...); they are left out.
    virtual bool IsMail() = 0;
    virtual std::optional<std::wstring> Subject() = 0;
    // Saves in the client's own message-file format, replacing a file of that name. False on failure.
    virtual bool SaveAs(const std::wstring& path) = 0;
};

// The selection of the client's active explorer.
class MailSelection {
public:
    virtual ~MailSelection() = default;
    // Nothing when the count cannot be read.
    virtual std::optional<long> Count() = 0;
    // Items count from 1; nullptr when the item cannot be had.
    virtual std::unique_ptr<MailItem> Item(long index) = 0;
};

class MailClient {
public:
    virtual ~MailClient() = default;
    // Starts or finds the client, logs on to its default profile without a dialog and takes the active
    // explorer's selection. nullptr when any of that fails or no explorer window is open.
    virtual std::unique_ptr<MailSelection> ActiveSelection() = 0;
};

struct MailDropResult {
    std::vector<std::wstring> files;  // saved message files, in selection order
    std::size_t leftOut = 0;          // items that were not mail, had no subject, or could not be saved
};

// Saves the selected items into folder. Nothing when the client or its selection could not be had: then the
// drop records nothing. An item that fails is left out and the others still go.
std::optional<MailDropResult> SaveSelectedMail(MailClient& client, const std::wstring& folder);

}  // namespace qm
