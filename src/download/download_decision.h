#pragma once
// What a download is for and where it goes: the element's attributes with their defaults, the values of the
// File Download dialog, the click and button tables, the check-out warning and the local-copy rule.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/page.h"
#include "download/file_download_resource.h"
#include "localfiles/file_system.h"

namespace qm {

enum DownloadAction : int {
    kActionNone = -1,
    kActionDialogCancelled = 2,
    kActionSave = 1001,
    kActionOpen = 1002,
    kActionSaveForEdit = 1003,
    kActionOpenFolder = 1004,
    kActionOpenForEdit = 1005,
};

inline constexpr wchar_t kDefaultHeaderText[] = L"Do you want to open or save this file?";
inline constexpr wchar_t kDefaultFooterText[] = L"Enable upload of saved file. (Click 'Yes' when prompted for upload)";
inline constexpr wchar_t kNoWritePermissionText[] = L"You don't have permission to write on your temporary folder.";
inline constexpr wchar_t kOpenedByAnotherProcessText[] = L"File is opened by another process.";
inline constexpr wchar_t kUseLocalCaption[] = L"Use local version?";
inline constexpr wchar_t kUseLocalText[] =
    L"Use local version?\n\nYour local version seems to be newer than the server version. \n"
    L"Click Yes to use the local version or click No to download the file again.";

// The element's attributes after their defaults. Sizes are read in full (64 bits): the platform's files
// can be larger than the 32-bit numbers of the page's texts.
struct DownloadAttributes {
    std::wstring PrimKey;
    std::wstring ViewName;
    std::wstring FileUploadViewName;
    std::wstring FileNameEncoding;  // how a copy sent back names itself to the store
    std::wstring AllowEdit = L"false";
    std::wstring FileName = L"UnKnown";
    std::optional<std::wstring> FileCreated;
    std::optional<std::wstring> FileUpdated;
    std::wstring FileSize = L"0";
    std::wstring IsLocked = L"true";
    std::wstring IsLockedByCurrentUser = L"false";
    std::wstring ExecuteScriptBeforeDownload;
    std::wstring ExecuteScriptAfterDownload;
    std::wstring ExecuteScriptBeforeUpload;
    std::wstring ExecuteScriptAfterUpload;
    std::wstring OnClickAction = L"prompt";
    std::wstring OnClickEditMode = L"false";
    std::wstring EnableAutoSaveToServer = L"true";
    std::wstring LocalPath;
    std::wstring PromptToCreateLocalPath = L"true";
    std::wstring OpenFileInEditMode;  // empty when absent: not "true"
    std::optional<std::wstring> HeaderText;
    std::optional<std::wstring> FooterText;
    std::wstring CheckedOutBy;
    std::wstring CheckedOutByUserName;
};

// Expands environment references of a path text (the platform's expansion; 1024 characters at most).
using ExpandEnvironment = std::function<std::wstring(const std::wstring&)>;

// Nothing when PrimKey or ViewName is not text (the call then ends with status 1). LocalPath, when given,
// is expanded and then trimmed of spaces.
std::optional<DownloadAttributes> ReadDownloadAttributes(PageElement& element, const ExpandEnvironment& expand);

// A size text as a byte count: optional blanks and "+", then decimal digits; a sign "-" or no digits give 0,
// and the value saturates instead of wrapping.
std::uint64_t ParseByteCount(const std::wstring& text);
// 4096-byte blocks, rounded up, and the progress range they give (at most 100).
std::uint64_t BlockCount64(std::uint64_t size);
std::uint32_t SingleProgressRange(std::uint64_t size);

struct FileDownloadValues {
    std::wstring fileName;
    std::wstring source;
    std::wstring sizeText;
    std::wstring header;
    std::wstring footer;
    bool editEnabled = false;
    bool editChecked = false;
};

FileDownloadValues PrepareDialogValues(const DownloadAttributes& a, const std::wstring& fileName,
                                       const std::wstring& serverName);

// The click table: the action for "open" and "save" (any case); kActionNone for other texts; nothing for
// "prompt", which asks the user in the File Download dialog.
std::optional<int> ActionForClick(const std::wstring& onClickAction, const std::wstring& onClickEditMode);

// The File Download dialog's state and answers, as its window shows them.
struct FileDownloadState {
    bool editChecked = false;
    bool editEnabled = false;
    bool saveEnabled = true;
};
FileDownloadState InitialDialogState(const FileDownloadValues& values);
// Edit Mode clicked: Save is usable exactly while the box is unchecked.
FileDownloadState AfterEditClicked(FileDownloadState state, bool nowChecked);
// The end code for a button id (Open, Save, Cancel); nothing for other ids, and for Save while disabled.
std::optional<int> EndForButton(int id, const FileDownloadState& state);
// "*." and the text after the last dot of the name (the whole name without a dot).
std::wstring TypeLookupPattern(const std::wstring& fileName);
// The type line: type name, ", ", size text.
std::wstring TypeAndSizeText(const std::wstring& typeName, const std::wstring& sizeText);

// Nothing when no warning is due (not locked, locked by the current user, or a save action).
std::optional<std::wstring> CheckOutWarning(const DownloadAttributes& a, const std::wstring& fileName, int action);

enum class LocalCopyChoice { Download, KeepLocal, AskUser };
// Compares in whole seconds; without a readable local time or a server time the file is downloaded.
LocalCopyChoice DecideLocalCopy(std::optional<FileTime> localWritten, std::optional<FileTime> serverUpdated);

// The after-download call's arguments: element id, "true"/"false", verb, target path.
std::vector<std::wstring> AfterDownloadArguments(const std::wstring& elementId, int action, const std::wstring& target);

}  // namespace qm
