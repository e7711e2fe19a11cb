#include "download/download_operation.h"

#include <limits>

#include "common/errors.h"
#include "localfiles/safe_names.h"
#include "localfiles/file_helpers.h"
#include "protocol/upload_header.h"
#include "ui/file_chooser.h"

namespace qm {
namespace {

bool IsDownloadAction(int action) {
    return action == kActionSave || action == kActionOpen || action == kActionSaveForEdit ||
           action == kActionOpenForEdit;
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

std::wstring ResultText(const ScriptValue& value) {
    switch (value.kind) {
        case ScriptValue::Kind::Text: return value.text;
        case ScriptValue::Kind::Boolean: return value.boolean ? L"true" : L"false";
        default: return {};
    }
}

// Opening is not running: a file of a type the shell considers dangerous opens only after the user says Yes.
void OpenDownloaded(DownloadContext& context, const std::wstring& target, const std::wstring& name) {
    if (IsFileInUse(context.fs, target)) return;
    if (context.shell.IsDangerous(target) && !context.shell.ConfirmRisk(context.documentWindow, OpenRiskText(name)))
        return;
    context.shell.Open(target);
}

// The page hears of every ending; only a copy the control itself wrote may be registered for sending back, or
// a failed download would hand the page whatever file of the user's lies at that path.
void AfterDownload(DownloadContext& context, const DownloadAttributes& a, const std::wstring& elementId, int action,
                   const std::wstring& target, const std::wstring& name, bool controlsOwnCopy) {
    auto result = context.scripts.CallPageFunction(a.ExecuteScriptAfterDownload,
                                             AfterDownloadArguments(elementId, action, target));
    if (controlsOwnCopy && result && result->IsTrue() && IsTrueText(a.EnableAutoSaveToServer))
        TrackEditedFile(context.tracked, context.fs, target, name, a.PrimKey, elementId, a.ViewName,
                        a.FileUploadViewName, a.ExecuteScriptBeforeUpload, a.ExecuteScriptAfterUpload)
            .FileNameUtf8 = NameEncodingOf(a.FileNameEncoding) == NameEncoding::Utf8 ? 1 : 0;
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Edits not yet sent are at stake when the download would replace them, when the server's copy changed since
// the copy was made, or when the copy belongs to another record.
bool EditsAtStake(const CopyOrigin& edits, const DownloadAttributes& a, std::optional<FileTime> updated,
                  LocalCopyChoice choice) {
    constexpr FileTime kSecond = 10'000'000;
    if (choice == LocalCopyChoice::Download) return true;
    if (!EqualsNoCase(edits.ViewName, a.ViewName) || !EqualsNoCase(edits.PrimKey, a.PrimKey)) return true;
    return edits.ServerUpdated != 0 && updated && *updated / kSecond > edits.ServerUpdated / kSecond;
}

// A free name beside the copy for the user's edits, stamped with the copy's time on the user's clock.
std::wstring ConflictCopyPath(DownloadContext& context, const std::wstring& target) {
    const std::optional<FileTime> written = GetLastWriteTime(context.fs, target);
    const CalendarTime when = context.system.LocalCalendar(written.value_or(0));
    const std::wstring folder = FolderOfPath(target);
    for (int n = 1; n < 100; ++n) {
        const std::wstring path = InFolder(folder, ConflictCopyName(FileNameOf(target), when, n));
        if (!FileExists(context.fs, path)) return path;
    }
    return std::wstring();
}

}  // namespace

std::wstring ConflictCopyName(const std::wstring& fileName, const CalendarTime& when, int n) {
    const std::size_t dot = fileName.rfind(L'.');
    const std::wstring stem = dot == std::wstring::npos || dot == 0 ? fileName : fileName.substr(0, dot);
    const std::wstring type = dot == std::wstring::npos || dot == 0 ? std::wstring() : fileName.substr(dot);
    const auto two = [](int v) { return (v < 10 ? L"0" : L"") + std::to_wstring(v); };
    std::wstring mark = L" (my edits " + std::to_wstring(when.year) + L"-" + two(when.month) + L"-" + two(when.day) +
                        L" " + two(when.hour) + L"." + two(when.minute);
    if (n > 1) mark += L" " + std::to_wstring(n);
    return stem + mark + L")" + type;
}

std::wstring ConflictText(const std::wstring& path, const std::wstring& serverName, const std::wstring& asideName) {
    return L"Your copy \"" + path + L"\" has changes that were not sent to " + serverName +
           L", and the copy stored there is not the one yours was made from.\r\n\r\n"
           L"Yes: keep your copy and open it.\r\n"
           L"No: get the stored copy, and keep your changes beside it as \"" + asideName + L"\".\r\n"
           L"Cancel: change nothing.";
}

std::wstring ConflictCopyFailedText(const std::wstring& path) {
    return L"Your changes in \"" + path + L"\" could not be kept beside it, so the stored copy was not fetched. "
           L"Your copy is as it was.";
}

std::wstring OpenRiskText(const std::wstring& fileName) {
    return L"\"" + fileName + L"\" is a program or a file type that can run commands on this computer.\r\n\r\n"
           L"Do you want to open it?";
}

std::wstring FolderRiskText(const std::wstring& fileName, const std::wstring& folder) {
    return L"The page asks to save \"" + fileName + L"\", a program or a file type that can run commands on this "
           L"computer, into the folder \"" + folder + L"\".\r\n\r\nDo you want to save it there?";
}

std::wstring ReplaceFileText(const std::wstring& path, const std::wstring& serverName) {
    return L"The page asks to replace the file \"" + path + L"\" with the copy stored on " + serverName +
           L".\r\n\r\nDo you want to replace it?";
}

int DownloadFile(DownloadContext& context, const std::wstring& elementId) {
    if (elementId.find(L'|') != std::wstring::npos) return DownloadListedFiles(context, elementId);
    auto element = context.page.FindElement(elementId);
    if (!element) return 1;
    auto read = ReadDownloadAttributes(*element, context.expand);
    if (!read) return 1;
    const DownloadAttributes a = std::move(*read);
    element.reset();

    const std::wstring name = SafeComponent(a.FileName);
    const FileDownloadValues values = PrepareDialogValues(a, name, context.serverName);
    const std::uint64_t size = ParseByteCount(a.FileSize);
    const std::optional<FileTime> created =
        a.FileCreated ? ParseServerDate(context.system, *a.FileCreated) : std::nullopt;
    const std::optional<FileTime> updated =
        a.FileUpdated ? ParseServerDate(context.system, *a.FileUpdated) : std::nullopt;

    int action = ActionForClick(a.OnClickAction, a.OnClickEditMode).value_or(0);
    if (action == 0) action = context.prompt.Run(context.documentWindow, values);

    if (auto warning = CheckOutWarning(a, name, action))
        if (context.dialogs.Ask(context.documentWindow, *warning, false) != Answer::Yes) return 0;
    if (!IsDownloadAction(action)) return 0;

    std::wstring recordKey = L"0";
    if (auto key = context.scripts.CallPageFunction(a.ExecuteScriptBeforeDownload, {elementId}))
        recordKey = ResultText(*key);

    const bool promptCreate = IsTrueText(a.PromptToCreateLocalPath);
    // The key names a folder of its own inside the temporary folder, never a way out of it.
    const std::wstring folderKey = SafeComponent(a.PrimKey);
    std::wstring target;
    if (action == kActionSave) {
        const std::wstring initial = ResolveDownloadFolder(context.fs, context.settings, context.questions, action,
                                                           a.LocalPath, folderKey, promptCreate);
        FileChooser chooser(context.dialogs);
        if (!chooser.Show(false, false, 0, L"", name, initial, AllFilesFilter(), L"")) return 0;
        const std::vector<std::wstring> chosen = chooser.TakeAllPaths();
        if (chosen.empty() || chosen.front().empty()) return 0;
        target = chosen.front();
        context.settings.WriteSetting(FolderOfPath(target), kSaveFileLocation);
    } else {
        const std::wstring folder = ResolveDownloadFolder(context.fs, context.settings, context.questions, action,
                                                          a.LocalPath, folderKey, promptCreate);
        if (folder.empty()) {
            ShowMessage(context.dialogs, kNoWritePermissionText);
            return 0;
        }
        target = InFolder(folder, name);
        const bool workingFolder = SamePath(folder, context.fs.TempPath() + folderKey);
        // Anywhere but the record's own working folder (a folder the page named, the remembered save folder,
        // Documents) a program or macro lands only when the user agrees: a DLL beside others gets loaded.
        if (!workingFolder && context.shell.IsDangerous(target) &&
            !context.shell.ConfirmRisk(context.documentWindow, FolderRiskText(name, folder)))
            return 0;

        if (FileExists(context.fs, target)) {
            if (IsFileInUse(context.fs, target)) {
                ShowMessage(context.dialogs, kOpenedByAnotherProcessText);
                return 0;
            }
            LocalCopyChoice choice = DecideLocalCopy(GetLastWriteTime(context.fs, target), updated);
            bool editsKept = false;
            if (const auto edits = context.tracked.UnsentEdits(target, context.fs);
                edits && EditsAtStake(*edits, a, updated, choice)) {
                const std::wstring aside = ConflictCopyPath(context, target);
                switch (context.dialogs.Ask(context.documentWindow,
                                            ConflictText(target, context.serverName, FileNameOf(aside)), true)) {
                    case Answer::Yes:
                        choice = LocalCopyChoice::KeepLocal;
                        break;
                    case Answer::No:
                        if (aside.empty() || !context.fs.CopyNoReplace(target, aside)) {
                            ShowMessage(context.dialogs, ConflictCopyFailedText(target));
                            return 0;
                        }
                        choice = LocalCopyChoice::Download;
                        editsKept = true;
                        break;
                    default:
                        return 0;
                }
            }
            if (choice == LocalCopyChoice::AskUser)
                choice = context.questions.AskYesNo(kUseLocalCaption, kUseLocalText) ? LocalCopyChoice::KeepLocal
                                                                               : LocalCopyChoice::Download;
            // A file the control did not write is the user's: it is replaced only when the user says so.
            if (choice == LocalCopyChoice::Download && !editsKept && !workingFolder &&
                !context.tracked.IsOwnCopy(target, context.fs) &&
                context.dialogs.Ask(context.documentWindow, ReplaceFileText(target, context.serverName), false) !=
                    Answer::Yes)
                return 0;
            if (choice == LocalCopyChoice::KeepLocal) {
                if (action == kActionSaveForEdit) return 0;
                OpenDownloaded(context, target, name);
                // A copy in the record's own working folder, or one this control wrote, is the control's; a
                // file that was simply there (in a folder the page named) is the user's.
                const bool own = context.tracked.IsOwnCopy(target, context.fs) ||
                                 SamePath(FolderOfPath(target), context.fs.TempPath() + folderKey);
                AfterDownload(context, a, elementId, action, target, name, own);
                return 0;
            }
        }
    }

    const TransferOutcome outcome = context.runner.RunSingle(
        [&](TransferJob& job) {
            FileDescriptor& d = job.Descriptor;
            d.FileName = name;
            d.LocalPath = target;
            d.FileCrc = 0;
            d.FileSize = static_cast<std::uint32_t>(size);  // the low 32 bits, as the slot holds
            d.BlockCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(BlockCount64(size), 0xFFFFFFFFu));
            d.PrimKey = a.PrimKey;
            d.ViewName = a.ViewName;
            d.UploadViewName = a.FileUploadViewName;
            d.FileRef = L"0";
            d.BeforeUploadScript = a.ExecuteScriptBeforeUpload;
            d.RecordKey = recordKey;
            d.AfterUploadScript = a.ExecuteScriptAfterUpload;
            d.ElementId = elementId;
            d.IsUpdate = 0;
            d.CreatedTime = created.value_or(0);
            d.UpdatedTime = updated.value_or(0);
            d.LocalFolder = a.LocalPath;
            job.Mode = TransferMode::Download;
            job.ProgressRange = SingleProgressRange(size);
            job.ServerName = context.serverName;
            job.ServerPort = context.serverPort;
            job.RequestFlags = context.requestFlags;
        },
        size);

    const bool timed = outcome.endCode != kEndDownloadFailed && outcome.endCode != kEndCancelled && !outcome.cancelled;
    // Without a server update time the file keeps the time it arrived with.
    if (timed && updated) SetFileTimes(context.fs, target, created.value_or(*updated), *updated);
    // Remembered with the time it was left with, before any program can open it: a later change is an edit.
    if (outcome.succeeded)
        context.tracked.RememberOwnCopy(target, context.fs, {a.ViewName, a.PrimKey, updated.value_or(0)});
    if (timed) {
        if (outcome.endCode == kEndOpenFolder)
            context.shell.Open(FolderOfPath(target));
        else if ((action == kActionOpen || action == kActionOpenForEdit) && outcome.succeeded)
            OpenDownloaded(context, target, name);
    }
    AfterDownload(context, a, elementId, action, target, name, outcome.succeeded);
    return 0;
}

int DownloadListedFiles(DownloadContext& context, const std::wstring& idList) {
    try {
        std::wstring folder;
        BrowseForFolder(context.dialogs, folder, kChooseDownloadFolderTitle, context.documentWindow);
        if (folder.empty()) return 1;
        auto list = std::make_shared<std::vector<std::wstring>>();
        list->push_back(folder);
        std::vector<ListedFile> files;
        std::uint64_t total = 0;
        int declined = 0;
        for (const std::wstring& id : SplitText(idList, L'|')) {
            auto element = context.page.FindElement(id);
            if (!element) continue;
            ListedFile f;
            f.primKey = element->TextAttribute(L"PrimKey").value_or(L"");
            f.viewName = element->TextAttribute(L"ViewName").value_or(L"");
            f.fileName = element->TextAttribute(L"FileName").value_or(L"");
            f.sizeText = element->TextAttribute(L"FileSize").value_or(L"");
            f.size = ParseByteCount(f.sizeText);
            // The user chose the folder, not the names: a program or macro the page lists lands there only when
            // the user agrees, as for a single file.
            const std::wstring saveName = SafeComponent(f.fileName);
            if (context.shell.IsDangerous(InFolder(folder, saveName)) &&
                !context.shell.ConfirmRisk(context.documentWindow, FolderRiskText(saveName, folder))) {
                ++declined;
                continue;
            }
            total = f.size > std::numeric_limits<std::uint64_t>::max() - total
                        ? std::numeric_limits<std::uint64_t>::max()
                        : total + f.size;
            list->push_back(f.primKey + L"|" + f.fileName + L"|" + f.viewName + L"|" + f.sizeText);
            files.push_back(std::move(f));
        }
        if (declined > 0 && files.empty()) return 0;
        const TransferOutcome outcome = context.runner.RunMulti(
            [&](TransferJob& job) {
                job.Mode = TransferMode::MultiDownload;
                job.FileList = list;
                job.TotalBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFFu));
                // The worker steps by percent of the whole job, so the bar holds 100 steps.
                job.ProgressRange = 100;
                job.ServerName = context.serverName;
                job.ServerPort = context.serverPort;
                job.RequestFlags = context.requestFlags;
            },
            std::move(files));
        if (outcome.endCode == kEndOpenFolder) context.shell.Open(folder);
        return 0;
    } catch (const Error& e) {
        ShowError(context.dialogs, 0, e.text());
        return 0;
    }
}

}  // namespace qm
