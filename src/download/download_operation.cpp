#include "download/download_operation.h"

#include <limits>

#include "common/errors.h"
#include "download/safe_names.h"
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
void OpenDownloaded(DownloadContext& c, const std::wstring& target, const std::wstring& name) {
    if (IsFileInUse(c.fs, target)) return;
    if (c.shell.IsDangerous(target) && !c.shell.ConfirmRisk(c.documentWindow, OpenRiskText(name))) return;
    c.shell.Open(target);
}

// The page hears of every ending; only a copy the control itself wrote may be registered for sending back, or
// a failed download would hand the page whatever file of the user's lies at that path.
void AfterDownload(DownloadContext& c, const DownloadAttributes& a, const std::wstring& elementId, int action,
                   const std::wstring& target, const std::wstring& name, bool controlsOwnCopy) {
    auto result = c.scripts.CallPageFunction(a.ExecuteScriptAfterDownload,
                                             AfterDownloadArguments(elementId, action, target));
    if (controlsOwnCopy && result && result->IsTrue() && IsTrueText(a.EnableAutoSaveToServer))
        TrackEditedFile(c.tracked, c.fs, target, name, a.PrimKey, elementId, a.ViewName, a.FileUploadViewName,
                        a.ExecuteScriptBeforeUpload, a.ExecuteScriptAfterUpload)
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
std::wstring ConflictCopyPath(DownloadContext& c, const std::wstring& target) {
    const std::optional<FileTime> written = GetLastWriteTime(c.fs, target);
    const CalendarTime when = c.system.LocalCalendar(written.value_or(0));
    const std::wstring folder = FolderOfPath(target);
    for (int n = 1; n < 100; ++n) {
        const std::wstring path = InFolder(folder, ConflictCopyName(FileNameOf(target), when, n));
        if (!FileExists(c.fs, path)) return path;
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

int DownloadFile(DownloadContext& c, const std::wstring& elementId) {
    if (elementId.find(L'|') != std::wstring::npos) return DownloadListedFiles(c, elementId);
    auto element = c.page.FindElement(elementId);
    if (!element) return 1;
    auto read = ReadDownloadAttributes(*element, c.expand);
    if (!read) return 1;
    const DownloadAttributes a = std::move(*read);
    element.reset();

    const std::wstring name = SafeComponent(a.FileName);
    const FileDownloadValues values = PrepareDialogValues(a, name, c.serverName);
    const std::uint64_t size = ParseByteCount(a.FileSize);
    const std::optional<FileTime> created = a.FileCreated ? ParseServerDate(c.system, *a.FileCreated) : std::nullopt;
    const std::optional<FileTime> updated = a.FileUpdated ? ParseServerDate(c.system, *a.FileUpdated) : std::nullopt;

    int action = ActionForClick(a.OnClickAction, a.OnClickEditMode).value_or(0);
    if (action == 0) action = c.prompt.Run(c.documentWindow, values);

    if (auto warning = CheckOutWarning(a, name, action))
        if (c.dialogs.Ask(c.documentWindow, *warning, false) != Answer::Yes) return 0;
    if (!IsDownloadAction(action)) return 0;

    std::wstring recordKey = L"0";
    if (auto key = c.scripts.CallPageFunction(a.ExecuteScriptBeforeDownload, {elementId})) recordKey = ResultText(*key);

    const bool promptCreate = IsTrueText(a.PromptToCreateLocalPath);
    // The key names a folder of its own inside the temporary folder, never a way out of it.
    const std::wstring folderKey = SafeComponent(a.PrimKey);
    std::wstring target;
    if (action == kActionSave) {
        const std::wstring initial =
            ResolveDownloadFolder(c.fs, c.settings, c.questions, action, a.LocalPath, folderKey, promptCreate);
        FileChooser chooser(c.dialogs);
        if (!chooser.Show(false, false, 0, L"", name, initial, AllFilesFilter(), L"")) return 0;
        const std::vector<std::wstring> chosen = chooser.TakeAllPaths();
        if (chosen.empty() || chosen.front().empty()) return 0;
        target = chosen.front();
        c.settings.WriteSetting(FolderOfPath(target), kSaveFileLocation);
    } else {
        const std::wstring folder =
            ResolveDownloadFolder(c.fs, c.settings, c.questions, action, a.LocalPath, folderKey, promptCreate);
        if (folder.empty()) {
            ShowMessage(c.dialogs, kNoWritePermissionText);
            return 0;
        }
        target = InFolder(folder, name);
        const bool workingFolder = SamePath(folder, c.fs.TempPath() + folderKey);
        // Anywhere but the record's own working folder (a folder the page named, the remembered save folder,
        // Documents) a program or macro lands only when the user agrees: a DLL beside others gets loaded.
        if (!workingFolder && c.shell.IsDangerous(target) &&
            !c.shell.ConfirmRisk(c.documentWindow, FolderRiskText(name, folder)))
            return 0;

        if (FileExists(c.fs, target)) {
            if (IsFileInUse(c.fs, target)) {
                ShowMessage(c.dialogs, kOpenedByAnotherProcessText);
                return 0;
            }
            LocalCopyChoice choice = DecideLocalCopy(GetLastWriteTime(c.fs, target), updated);
            bool editsKept = false;
            if (const auto edits = c.tracked.UnsentEdits(target, c.fs);
                edits && EditsAtStake(*edits, a, updated, choice)) {
                const std::wstring aside = ConflictCopyPath(c, target);
                switch (c.dialogs.Ask(c.documentWindow, ConflictText(target, c.serverName, FileNameOf(aside)), true)) {
                    case Answer::Yes:
                        choice = LocalCopyChoice::KeepLocal;
                        break;
                    case Answer::No:
                        if (aside.empty() || !c.fs.CopyNoReplace(target, aside)) {
                            ShowMessage(c.dialogs, ConflictCopyFailedText(target));
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
                choice = c.questions.AskYesNo(kUseLocalCaption, kUseLocalText) ? LocalCopyChoice::KeepLocal
                                                                               : LocalCopyChoice::Download;
            // A file the control did not write is the user's: it is replaced only when the user says so.
            if (choice == LocalCopyChoice::Download && !editsKept && !workingFolder &&
                !c.tracked.IsOwnCopy(target, c.fs) &&
                c.dialogs.Ask(c.documentWindow, ReplaceFileText(target, c.serverName), false) != Answer::Yes)
                return 0;
            if (choice == LocalCopyChoice::KeepLocal) {
                if (action == kActionSaveForEdit) return 0;
                OpenDownloaded(c, target, name);
                // A copy in the record's own working folder, or one this control wrote, is the control's; a
                // file that was simply there (in a folder the page named) is the user's.
                const bool own = c.tracked.IsOwnCopy(target, c.fs) ||
                                 SamePath(FolderOfPath(target), c.fs.TempPath() + folderKey);
                AfterDownload(c, a, elementId, action, target, name, own);
                return 0;
            }
        }
    }

    const TransferOutcome outcome = c.runner.RunSingle(
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
            job.ServerName = c.serverName;
            job.ServerPort = c.serverPort;
            job.RequestFlags = c.requestFlags;
        },
        size);

    const bool timed = outcome.endCode != kEndDownloadFailed && outcome.endCode != kEndCancelled && !outcome.cancelled;
    // Without a server update time the file keeps the time it arrived with.
    if (timed && updated) SetFileTimes(c.fs, target, created.value_or(*updated), *updated);
    // Remembered with the time it was left with, before any program can open it: a later change is an edit.
    if (outcome.succeeded) c.tracked.RememberOwnCopy(target, c.fs, {a.ViewName, a.PrimKey, updated.value_or(0)});
    if (timed) {
        if (outcome.endCode == kEndOpenFolder)
            c.shell.Open(FolderOfPath(target));
        else if ((action == kActionOpen || action == kActionOpenForEdit) && outcome.succeeded)
            OpenDownloaded(c, target, name);
    }
    AfterDownload(c, a, elementId, action, target, name, outcome.succeeded);
    return 0;
}

int DownloadListedFiles(DownloadContext& c, const std::wstring& idList) {
    try {
        std::wstring folder;
        BrowseForFolder(c.dialogs, folder, kChooseDownloadFolderTitle, c.documentWindow);
        if (folder.empty()) return 1;
        auto list = std::make_shared<std::vector<std::wstring>>();
        list->push_back(folder);
        std::vector<ListedFile> files;
        std::uint64_t total = 0;
        int declined = 0;
        for (const std::wstring& id : SplitText(idList, L'|')) {
            auto element = c.page.FindElement(id);
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
            if (c.shell.IsDangerous(InFolder(folder, saveName)) &&
                !c.shell.ConfirmRisk(c.documentWindow, FolderRiskText(saveName, folder))) {
                ++declined;
                continue;
            }
            total = f.size > std::numeric_limits<std::uint64_t>::max() - total ? std::numeric_limits<std::uint64_t>::max()
                                                                                : total + f.size;
            list->push_back(f.primKey + L"|" + f.fileName + L"|" + f.viewName + L"|" + f.sizeText);
            files.push_back(std::move(f));
        }
        if (declined > 0 && files.empty()) return 0;
        const TransferOutcome outcome = c.runner.RunMulti(
            [&](TransferJob& job) {
                job.Mode = TransferMode::MultiDownload;
                job.FileList = list;
                job.TotalBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFFu));
                // The worker steps by percent of the whole job, so the bar holds 100 steps.
                job.ProgressRange = 100;
                job.ServerName = c.serverName;
                job.ServerPort = c.serverPort;
                job.RequestFlags = c.requestFlags;
            },
            std::move(files));
        if (outcome.endCode == kEndOpenFolder) c.shell.Open(folder);
        return 0;
    } catch (const Error& e) {
        ShowError(c.dialogs, 0, e.text());
        return 0;
    }
}

}  // namespace qm
