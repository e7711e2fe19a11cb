#include "download/download_decision.h"

#include <limits>

#include "localfiles/file_helpers.h"
#include "common/text_format.h"

namespace qm {
namespace {

std::wstring Trim(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// Both defaults of the table: "not text" and "null" read alike through the port (nothing for either).
std::wstring Or(PageElement& e, const wchar_t* name, const std::wstring& fallback) {
    return e.TextAttribute(name).value_or(fallback);
}

}  // namespace

std::optional<DownloadAttributes> ReadDownloadAttributes(PageElement& e, const ExpandEnvironment& expand) {
    DownloadAttributes a;
    auto primKey = e.TextAttribute(L"PrimKey");
    if (!primKey) return std::nullopt;
    auto viewName = e.TextAttribute(L"ViewName");
    if (!viewName) return std::nullopt;
    a.PrimKey = *primKey;
    a.ViewName = *viewName;
    a.FileUploadViewName = Or(e, L"FileUploadViewName", L"");
    a.FileNameEncoding = Or(e, L"FileNameEncoding", L"");
    a.AllowEdit = Or(e, L"AllowEdit", L"false");
    a.FileName = Or(e, L"FileName", L"UnKnown");
    a.FileCreated = e.TextAttribute(L"FileCreated");
    a.FileUpdated = e.TextAttribute(L"FileUpdated");
    a.FileSize = Or(e, L"FileSize", L"0");
    a.IsLocked = Or(e, L"IsLocked", L"true");
    a.IsLockedByCurrentUser = Or(e, L"IsLockedByCurrentUser", L"false");
    a.ExecuteScriptBeforeDownload = Or(e, L"ExecuteScriptBeforeDownload", L"");
    a.ExecuteScriptAfterDownload = Or(e, L"ExecuteScriptAfterDownload", L"");
    a.ExecuteScriptBeforeUpload = Or(e, L"ExecuteScriptBeforeUpload", L"");
    a.ExecuteScriptAfterUpload = Or(e, L"ExecuteScriptAfterUpload", L"");
    a.OnClickAction = Or(e, L"OnClickAction", L"prompt");
    a.OnClickEditMode = Or(e, L"OnClickEditMode", L"false");
    a.EnableAutoSaveToServer = Or(e, L"EnableAutoSaveToServer", L"true");
    a.LocalPath = Or(e, L"LocalPath", L"");
    a.PromptToCreateLocalPath = Or(e, L"PromptToCreateLocalPath", L"true");
    a.OpenFileInEditMode = Or(e, L"OpenFileInEditMode", L"");
    a.HeaderText = e.TextAttribute(L"HeaderText");
    a.FooterText = e.TextAttribute(L"FooterText");
    a.CheckedOutBy = Or(e, L"CheckedOutBy", L"");
    a.CheckedOutByUserName = Or(e, L"CheckedOutByUserName", L"");
    if (!a.LocalPath.empty()) a.LocalPath = Trim(expand ? expand(a.LocalPath) : a.LocalPath);
    return a;
}

std::uint64_t ParseByteCount(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    if (i < text.size() && text[i] == L'-') return 0;
    if (i < text.size() && text[i] == L'+') ++i;
    std::uint64_t value = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - L'0');
        if (value > (kMax - digit) / 10) return kMax;
        value = value * 10 + digit;
    }
    return value;
}

std::uint64_t BlockCount64(std::uint64_t size) { return size / kBlockSize + (size % kBlockSize ? 1 : 0); }

std::uint32_t SingleProgressRange(std::uint64_t size) {
    const std::uint64_t blocks = BlockCount64(size);
    return static_cast<std::uint32_t>(blocks < 100 ? blocks : 100);
}

FileDownloadValues PrepareDialogValues(const DownloadAttributes& a, const std::wstring& fileName,
                                       const std::wstring& serverName) {
    FileDownloadValues v;
    v.fileName = fileName;
    v.source = serverName;
    v.sizeText = FormatByteSize(static_cast<double>(ParseByteCount(a.FileSize)));
    v.header = a.HeaderText.value_or(kDefaultHeaderText);
    v.footer = a.FooterText.value_or(kDefaultFooterText);
    const bool allowEdit = IsTrueText(a.AllowEdit);
    v.editEnabled = allowEdit && !IsTrueText(a.IsLocked);
    v.editChecked = allowEdit && (IsTrueText(a.IsLockedByCurrentUser) || IsTrueText(a.OpenFileInEditMode));
    return v;
}

std::optional<int> ActionForClick(const std::wstring& onClickAction, const std::wstring& onClickEditMode) {
    const bool edit = IsTrueText(onClickEditMode);
    if (EqualsNoCase(onClickAction, L"prompt")) return std::nullopt;
    if (EqualsNoCase(onClickAction, L"open")) return edit ? kActionOpenForEdit : kActionOpen;
    if (EqualsNoCase(onClickAction, L"save")) return edit ? kActionSaveForEdit : kActionSave;
    return kActionNone;
}

FileDownloadState InitialDialogState(const FileDownloadValues& values) {
    FileDownloadState s;
    s.editChecked = values.editChecked;
    s.editEnabled = values.editEnabled;
    s.saveEnabled = !s.editChecked;
    return s;
}

FileDownloadState AfterEditClicked(FileDownloadState state, bool nowChecked) {
    state.editChecked = nowChecked;
    state.saveEnabled = !nowChecked;
    return state;
}

std::optional<int> EndForButton(int id, const FileDownloadState& state) {
    switch (id) {
        case IDC_FD_OPEN: return state.editChecked ? kActionOpenForEdit : kActionOpen;
        case IDC_FD_SAVE:
            if (!state.saveEnabled) return std::nullopt;
            return state.editChecked ? kActionSaveForEdit : kActionSave;
        case IDC_FD_CANCEL: return kActionDialogCancelled;
        default: return std::nullopt;
    }
}

std::wstring TypeLookupPattern(const std::wstring& fileName) {
    const std::size_t dot = fileName.rfind(L'.');
    return L"*." + (dot == std::wstring::npos ? fileName : fileName.substr(dot + 1));
}

std::wstring TypeAndSizeText(const std::wstring& typeName, const std::wstring& sizeText) {
    return typeName + L", " + sizeText;
}

std::optional<std::wstring> CheckOutWarning(const DownloadAttributes& a, const std::wstring& fileName, int action) {
    if (action != kActionOpen && action != kActionOpenForEdit) return std::nullopt;
    if (!IsTrueText(a.IsLocked) || IsTrueText(a.IsLockedByCurrentUser)) return std::nullopt;
    return fileName + L" is currently checked out by " +
           (a.CheckedOutByUserName.empty() ? std::wstring(L"another user.") : a.CheckedOutByUserName) +
           L"\r\nAny changes will not be uploaded to the server.\r\n\r\nDo you want to open the file?";
}

LocalCopyChoice DecideLocalCopy(std::optional<FileTime> localWritten, std::optional<FileTime> serverUpdated) {
    if (!localWritten || !serverUpdated) return LocalCopyChoice::Download;
    constexpr FileTime kSecond = 10'000'000;
    const FileTime local = *localWritten / kSecond, server = *serverUpdated / kSecond;
    if (local > server) return LocalCopyChoice::AskUser;
    if (local == server) return LocalCopyChoice::KeepLocal;
    return LocalCopyChoice::Download;
}

std::vector<std::wstring> AfterDownloadArguments(const std::wstring& elementId, int action, const std::wstring& target) {
    const bool save = action == kActionSave;
    const wchar_t* verb = save ? L"Save" : action == kActionOpenForEdit ? L"Lock" : L"Open";
    return {elementId, save ? L"false" : L"true", verb, target};
}

}  // namespace qm
