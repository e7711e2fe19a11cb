#include "upload/upload_operation.h"

#include <exception>

#include "common/errors.h"
#include "localfiles/safe_names.h"
#include "localfiles/file_helpers.h"
#include "protocol/upload_header.h"
#include "ui/file_chooser.h"

namespace qm {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

std::wstring Trimmed(const std::wstring& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

// Clears the control's flag however the operation ends.
class BusyScope {
public:
    explicit BusyScope(bool* flag) : flag_(flag) {
        if (flag_) *flag_ = true;
    }
    ~BusyScope() {
        if (flag_) *flag_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool* flag_;
};

std::wstring TextOf(const std::exception& e) {
    std::wstring text;
    for (const char* p = e.what(); *p; ++p) text.push_back(static_cast<unsigned char>(*p));
    return CutErrorText(text.empty() ? std::wstring(L"Unknown Error") : text);
}

// A copy this control wrote or opened for editing, or a file in the record's own working folder (inside the
// temporary folder) where such a copy lives: those were handed to the user by the control, not named by the page.
// Paths are compared in canonical form, so "..", "/" and doubled separators cannot dress up another file.
bool IsControlsOwnCopy(UploadContext& context, const std::wstring& path, const std::wstring& primKey) {
    if (context.tracked.IsOwnCopy(path, context.fs)) return true;
    const std::wstring folder = FolderOfPath(CanonicalPathText(path));
    if (!SamePath(folder, context.fs.TempPath() + SafeComponent(primKey))) return false;
    for (const auto& entry : context.tracked.Items())
        if (SamePath(FolderOfPath(CanonicalPathText(entry->LocalPath)), folder)) return true;
    return false;
}

std::wstring ChooseLocalFile(UploadContext& context) {
    FileChooser chooser(context.dialogs);
    if (!chooser.Show(true, false, 0, L"", L"", context.settings.ReadSetting(kSaveFileLocation), AllFilesFilter(), L""))
        return {};
    const std::vector<std::wstring> chosen = chooser.TakeAllPaths();
    return chosen.empty() ? std::wstring() : chosen.front();
}

// The before-upload call of a re-upload; nothing when it failed.
std::optional<ScriptValue> CallBeforeReUpload(UploadContext& context, const FileDescriptor& d) {
    const FileDates dates = FileDatesText(context.fs, d.LocalPath).value_or(FileDates{});
    return context.scripts.CallPageFunction(d.BeforeUploadScript, KeyRequestArguments(d.ElementId, d, dates));
}

// The first of the files whose name the header cannot carry, told to the user: nothing is sent then.
bool RefuseUnsendableName(UploadContext& context, const std::vector<std::wstring>& paths, NameEncoding encoding) {
    if (!context.codePage) return false;
    for (const std::wstring& path : paths) {
        const auto entry = context.fs.FindFirst(path);
        if (!entry) continue;
        if (auto refusal = FileNameRefusal(entry->name, encoding, *context.codePage)) {
            ShowMessage(context.dialogs, *refusal + L"\r\n\r\nNothing was sent.");
            return true;
        }
    }
    return false;
}

void FillServer(UploadContext& context, TransferJob& job) {
    job.ServerName = context.serverName;
    job.ServerPort = context.serverPort;
    job.RequestFlags = context.requestFlags;
}

}  // namespace

std::wstring MissingElementText(const std::wstring& id) {
    return L"Control with id '" + id + L"' does not exist in the document.";
}

std::wstring ConfirmSendText(const std::wstring& path, const std::wstring& serverName) {
    return L"The page asks to send the file \"" + path + L"\" to " + serverName +
           L".\r\n\r\nDo you want to send this file?";
}

std::uint32_t UploadProgressRange(std::uint64_t totalBytes) {
    const std::uint64_t blocks = (totalBytes + kBlockSize - 1) / kBlockSize;
    return blocks > 100 ? 100 : static_cast<std::uint32_t>(blocks);
}

std::vector<std::wstring> KeepOperationFiles(const std::wstring& listText, const std::vector<std::wstring>& files) {
    std::vector<std::wstring> kept;
    for (const std::wstring& entry : SplitText(listText, L'|')) {
        if (entry.empty()) continue;
        const std::wstring path = entry.substr(0, entry.find(L'?'));
        for (const std::wstring& file : files)
            if (!file.empty() && EqualsNoCase(file, path)) {
                kept.push_back(entry);
                break;
            }
    }
    return kept;
}

int UploadFile(UploadContext& context, const std::wstring& elementId, std::int32_t multiSelect) {
    FileChooser chooser(context.dialogs);
    if (!chooser.Show(true, multiSelect != 0, context.documentWindow, L"", L"",
                      context.settings.ReadSetting(kOpenFileLocation), UploadFilter(), L""))
        return 1;
    std::vector<std::wstring> files = chooser.TakeAllPaths();
    if (files.empty() || files.front().empty()) return 1;
    context.settings.WriteSetting(FolderOfPath(files.front()), kOpenFileLocation);
    return UploadSetup(context, elementId, files);
}

int UploadSetup(UploadContext& context, const std::wstring& elementId, const std::vector<std::wstring>& files) {
    try {
        auto element = context.page.FindElement(elementId);
        if (!element) return 0;
        const auto viewName = element->TextAttribute(L"ViewName");
        if (!viewName) return 1;
        const std::wstring allowDrop = TextAttributeOr(*element, L"AllowDrop", L"false");
        const auto before = element->TextAttribute(L"ExecuteScriptBeforeUpload");
        if (!before) return 1;
        const std::wstring after = TextAttributeOr(*element, L"ExecuteScriptAfterUpload");
        const std::wstring once = TextAttributeOr(*element, L"ExecuteScriptOnce", L"false");
        const NameEncoding encoding = NameEncodingOf(TextAttributeOr(*element, kFileNameEncodingAttribute));
        element.reset();
        if (!IsTrueText(allowDrop)) return 0;
        const bool executeOnce = IsTrueText(once);
        // Before the page is asked about any file: a name the store's field cannot hold is never half sent.
        if (RefuseUnsendableName(context, files, encoding)) return 0;

        auto list = std::make_shared<std::vector<std::wstring>>();
        std::uint64_t total = 0;
        if (executeOnce) {
            const std::wstring summary = BuildFileListText(context.fs, files);
            if (summary.empty()) return 0;
            if (before->empty()) {
                ShowMessage(context.dialogs, kBeforeUploadEmptyText);
                return 0;
            }
            const auto answer = context.scripts.CallPageFunction(*before, OnceModeArguments(elementId, summary));
            if (!answer || !answer->IsText() || answer->text.empty()) return 0;
            // Only files the user chose or dropped for this operation may be measured, read or sent.
            *list = KeepOperationFiles(answer->text, files);
            const std::wstring listText = JoinText(*list, L'|');
            if (auto large = FirstTooLarge(context.fs, KeyedListPaths(listText))) {
                ShowMessage(context.dialogs, TooLargeText(*large));
                return 0;
            }
            total = SumListedSizes(context.fs, listText);
            if (total == 0) return 0;
        } else {
            if (auto large = FirstTooLarge(context.fs, files)) {
                ShowMessage(context.dialogs, TooLargeText(*large));
                return 0;
            }
            total = TotalSize(context.fs, files);
            *list = files;
        }

        const UploadOutcome outcome = context.runner.Run([&](TransferJob& job) {
            job.TotalBytes = total;
            job.ProgressRange = UploadProgressRange(total);
            FillServer(context, job);
            job.AllowDrop = 1;
            job.ExecuteScriptOnce = executeOnce ? 1 : 0;
            job.ViewName = *viewName;
            job.ElementId = elementId;
            job.BeforeUploadScript = *before;
            job.AfterUploadScript = after;
            job.ScriptResult.clear();
            job.Mode = TransferMode::Upload;
            job.Cancelled = false;
            job.Succeeded = false;
            job.ResultList.clear();
            job.FileList = list;
            job.FileNameUtf8 = encoding == NameEncoding::Utf8 ? 1 : 0;
        });
        if (!outcome.cancelled && !outcome.resultList.empty())
            context.scripts.CallPageFunction(after, OnceModeArguments(elementId, outcome.resultList));
        return 0;
    } catch (const std::exception&) {
        return 0;
    }
}

namespace {

// Sends one edited copy back under the progress dialog and tells the page what was stored.
// Whether the copy goes: yes unless the page shows the stored copy changed after the one the copy was made from,
// and the user, told so, keeps the copy instead.
bool SendDespiteNewerStoredCopy(UploadContext& context, const std::wstring& path, const std::wstring& fileUpdated) {
    constexpr FileTime kSecond = 10'000'000;
    const auto* copy = context.tracked.OwnCopyAt(path);
    if (!copy || copy->origin.ServerUpdated == 0 || fileUpdated.empty() || !context.system) return true;
    const std::optional<FileTime> updated = ParseServerDate(*context.system, fileUpdated);
    if (!updated || *updated / kSecond <= copy->origin.ServerUpdated / kSecond) return true;
    return context.dialogs.Ask(context.documentWindow, ServerChangedText(path, context.serverName), false) ==
           Answer::Yes;
}

void SendEditedCopy(UploadContext& context, const FileDescriptor& d) {
    const UploadOutcome outcome = context.runner.Run([&](TransferJob& job) {
        job.TotalBytes = d.FileSize;
        FillServer(context, job);
        job.Descriptor = d;
        job.Mode = TransferMode::ReUpload;
        job.ProgressRange = d.BlockCount > 100 ? 100 : d.BlockCount;
    });
    if (!outcome.cancelled && outcome.succeeded) {
        // The server has these edits now: a later download over the copy loses nothing.
        context.tracked.MarkSent(d.LocalPath, context.fs);
        FileDescriptor stored = outcome.descriptor;
        stored.IsUpdate = 0;
        RunFileReport(stored, context.scripts, context.fs);
    }
}

}  // namespace

std::wstring ServerChangedText(const std::wstring& path, const std::wstring& serverName) {
    return L"The copy stored on " + serverName + L" has changed since \"" + path +
           L"\" was made from it: sending yours replaces those changes.\r\n\r\n"
           L"Yes: send your copy anyway.\r\nNo: keep your copy and send nothing.";
}

int UpdateFile(UploadContext& context, const std::wstring& objectId, int fileLocation) {
    BusyScope busy(context.busy);
    auto element = context.page.FindElement(objectId);
    if (!element) {
        ShowMessage(context.dialogs, MissingElementText(objectId));
        return 1;
    }
    try {
        FileDescriptor d;
        d.ViewName = TextAttributeOr(*element, L"ViewName");
        d.UploadViewName = TextAttributeOr(*element, L"FileUploadViewName");
        const std::wstring primKey = TextAttributeOr(*element, L"PrimKey");
        const std::wstring fileName = TextAttributeOr(*element, L"FileName");
        d.BeforeUploadScript = TextAttributeOr(*element, L"ExecuteScriptBeforeUpload");
        d.AfterUploadScript = TextAttributeOr(*element, L"ExecuteScriptAfterUpload");
        const std::wstring localPath = TextAttributeOr(*element, L"LocalPath");
        const std::wstring fileUpdated = TextAttributeOr(*element, L"FileUpdated");
        const NameEncoding encoding = NameEncodingOf(TextAttributeOr(*element, kFileNameEncodingAttribute));
        element.reset();

        const std::wstring folder = localPath.empty() ? context.fs.TempPath() + SafeComponent(primKey)
                                                      : Trimmed(context.expand ? context.expand(localPath) : localPath);
        // The name is one component of that folder, as the download made it: no way out, no wildcard search.
        std::wstring path = InFolder(folder, SafeComponent(fileName));
        if (fileLocation == kUpdateAlwaysAsk) {
            path = ChooseLocalFile(context);
        } else {
            // A path the page named is sent only with the user's consent, unless it is this control's own copy.
            if (!IsControlsOwnCopy(context, path, primKey) &&
                !context.confirm.Confirm(context.documentWindow, ConfirmSendText(path, context.serverName)))
                return 1;
            if (fileLocation == kUpdateAskIfMissing && !FileExists(context.fs, path)) path = ChooseLocalFile(context);
        }
        if (path.empty()) return 1;
        if (FirstTooLarge(context.fs, {path})) {
            ShowMessage(context.dialogs, TooLargeText(path));
            return 1;
        }
        if (!SendDespiteNewerStoredCopy(context, path, fileUpdated)) return 0;
        if (!DescribeFile(context.fs, path, d)) {
            ShowMessage(context.dialogs, kFileMissingText);
            return 1;
        }
        if (RefuseUnsendableName(context, {path}, encoding)) return 1;
        d.FileNameUtf8 = encoding == NameEncoding::Utf8 ? 1 : 0;
        d.PrimKey = primKey;
        d.RecordKey = primKey;
        d.ElementId = objectId;
        d.IsUpdate = 1;
        if (!d.BeforeUploadScript.empty()) {
            const auto key = CallBeforeReUpload(context, d);
            if (key && key->IsText() && !key->text.empty()) d.PrimKey = key->text;
        }
        SendEditedCopy(context, d);
        return 0;
    } catch (const Error& e) {
        ShowMessage(context.dialogs, e.text());
        return 0;
    } catch (const std::exception& e) {
        ShowMessage(context.dialogs, TextOf(e));
        return 0;
    }
}

void ProcessLockedFiles(UploadContext& context) {
    if (context.busy && *context.busy) return;
    try {
        auto& items = context.tracked.Items();
        for (auto it = items.begin(); it != items.end();) {
            TrackedFile& entry = **it;
            if (entry.State == TrackedState::Waiting) {
                entry.State = TrackedState::Checking;
                ProcessTrackedFile(context, entry);
                ++it;
            } else if (entry.State == TrackedState::Sent) {
                it = items.erase(it);
            } else {
                ++it;
            }
        }
    } catch (const Error& e) {
        ShowError(context.dialogs, 0, e.text());
    } catch (const std::exception& e) {
        ShowError(context.dialogs, 0, TextOf(e));
    }
}

void ProcessTrackedFile(UploadContext& context, TrackedFile& entry) {
    try {
        if (IsFileInUse(context.fs, entry.LocalPath)) {
            entry.State = TrackedState::Waiting;
            return;
        }
        const std::optional<FileTime> written = GetLastWriteTime(context.fs, entry.LocalPath);
        // A copy kept past the journal's time is offered one last time, or let go when it holds nothing new.
        const auto letGo = [&] {
            entry.State = TrackedState::Sent;
            context.tracked.LetGo(entry.LocalPath);
        };
        // A copy whose time cannot be read (deleted, moved away) cannot be sent; nobody is asked about it.
        if (!written || *written == entry.LastWriteTime) {
            if (entry.Stale && written) return letGo();
            entry.State = TrackedState::Waiting;
            return;
        }
        if (context.savePrompt.Run(0, entry.FileName) != kSaveToServerSave) {
            if (entry.Stale) return letGo();
            entry.State = TrackedState::Waiting;
            entry.LastWriteTime = *written;
            return;
        }
        std::wstring fileUpdated;
        if (auto element = entry.ElementId.empty() ? nullptr : context.page.FindElement(entry.ElementId))
            fileUpdated = TextAttributeOr(*element, L"FileUpdated");
        if (!SendDespiteNewerStoredCopy(context, entry.LocalPath, fileUpdated)) {
            entry.State = TrackedState::Waiting;
            entry.LastWriteTime = *written;
            return;
        }
        FileDescriptor d;
        if (FirstTooLarge(context.fs, {entry.LocalPath})) {
            entry.State = TrackedState::Waiting;
            ShowMessage(context.dialogs, TooLargeText(entry.LocalPath));
            return;
        }
        if (!DescribeFile(context.fs, entry.LocalPath, d)) {
            entry.State = TrackedState::Waiting;
            ShowMessage(context.dialogs, kFileMissingText);
            return;
        }
        const NameEncoding encoding = entry.FileNameUtf8 ? NameEncoding::Utf8 : NameEncoding::CodePage;
        if (RefuseUnsendableName(context, {entry.LocalPath}, encoding)) {
            entry.State = TrackedState::Waiting;
            return;
        }
        d.FileNameUtf8 = entry.FileNameUtf8;
        d.PrimKey = entry.PrimKey;
        d.RecordKey = entry.PrimKey;
        d.ViewName = entry.ViewName;
        d.UploadViewName = entry.UploadViewName;
        d.BeforeUploadScript = entry.BeforeUploadScript;
        d.AfterUploadScript = entry.AfterUploadScript;
        d.ElementId = entry.ElementId;
        if (!d.BeforeUploadScript.empty()) {
            if (const auto key = CallBeforeReUpload(context, d)) {
                const std::wstring text = key->IsText() ? key->text : std::wstring();
                if (!IsGuidText(text)) return;  // stays Checking: neither examined again nor removed
                d.PrimKey = text;
                d.RecordKey = text;
            }
        }
        entry.State = TrackedState::Sent;
        d.IsUpdate = 0;
        SendEditedCopy(context, d);
    } catch (const Error& e) {
        entry.State = TrackedState::Waiting;
        ShowError(context.dialogs, 0, e.text());
    } catch (const std::exception& e) {
        entry.State = TrackedState::Waiting;
        ShowError(context.dialogs, 0, TextOf(e));
    }
}

}  // namespace qm
