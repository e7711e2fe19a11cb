#include "download/win32/download_win32.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "common/win32/owners.h"
#include "common/win32/steady_clock.h"
#include "common/errors.h"
#include "localfiles/safe_names.h"
#include "localfiles/settings.h"
#include "localfiles/win32/local_files_win32.h"
#include "protocol/win32/ansi_code_page.h"
#include "protocol/win32/msxml_document.h"
#include "protocol/win32/wininet_client.h"
#include "ui/win32/dialogs_win32.h"
#include "ui/win32/progress_dialog.h"

namespace qm {
namespace {

std::wstring ErrorText(DWORD code, const std::wstring& path) {
    std::wstring text = LocalSystemText().ErrorMessage(code);
    if (text.empty()) text = L"Error " + std::to_wstring(code) + L".";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text + L" " + path;
}

bool MarkForDeletion(HANDLE file, bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

class Win32IncomingFile : public IncomingFile {
public:
    Win32IncomingFile(std::wstring target, std::wstring temp, UniqueFileHandle file, std::wstring source)
        : target_(std::move(target)), temp_(std::move(temp)), file_(std::move(file)), source_(std::move(source)) {}
    ~Win32IncomingFile() override {
        Close();
        if (!committed_) DeleteFileW(temp_.c_str());
    }
    void Write(const void* data, std::size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            DWORD written = 0;
            const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            if (!WriteFile(file_.get(), p, piece, &written, nullptr) || written == 0) {
                const DWORD code = GetLastError();
                throw FileError(code, ErrorText(code, target_));
            }
            p += written;
            size -= written;
        }
    }
    void Commit() override {
        if (!MarkForDeletion(file_.get(), false)) {
            const DWORD code = GetLastError();
            throw FileError(code, ErrorText(code, target_));
        }
        Close();
        // Replacing keeps the target's name; a target held open by another program refuses and stays as it was.
        if (!MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const DWORD code = GetLastError();
            throw FileError(code, ErrorText(code, target_));
        }
        committed_ = true;
        MarkFromInternet(target_, source_);
    }

private:
    void Close() { file_.reset(); }
    std::wstring target_, temp_;
    UniqueFileHandle file_;
    std::wstring source_;
    bool committed_ = false;
};

// Types that run code when opened, beside the shell's own test (which some systems answer for few types).

}  // namespace

std::unique_ptr<IncomingFile> Win32IncomingFiles::Begin(const std::wstring& target, const std::wstring& source) {
    std::wstring folder = FolderOfPath(target);
    if (folder.empty()) folder = L".";
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    wchar_t temp[MAX_PATH + 16] = {};
    // The temporary file sits beside the target, so that putting it in place is a rename on the same volume.
    if (!GetTempFileNameW(folder.c_str(), L"qm", 0, temp)) {
        const DWORD code = GetLastError();
        throw FileError(code, ErrorText(code, target));
    }
    UniqueFileHandle file(
        CreateFileW(temp, GENERIC_WRITE | DELETE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Marked for deletion while it is written: when the browser ends (or dies) in the middle of a download,
    // closing the handle removes the partial file. The mark is taken back only at the commit.
    if (!file || !MarkForDeletion(file.get(), true)) {
        const DWORD code = GetLastError();
        file.reset();
        DeleteFileW(temp);
        throw FileError(code, ErrorText(code, target));
    }
    return std::make_unique<Win32IncomingFile>(target, temp, std::move(file), source);
}

std::wstring Win32IncomingFiles::ShortPath(const std::wstring& path) {
    wchar_t buffer[1024];
    const DWORD n = GetShortPathNameW(path.c_str(), buffer, 1024);
    if (n == 0 || n >= 1024) return path;
    return std::wstring(buffer, n);
}

bool Win32IncomingFiles::Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MarkFromInternet(const std::wstring& path, const std::wstring& source) {
    const ComInitScope com;
    Microsoft::WRL::ComPtr<IAttachmentExecute> attachment;
    if (FAILED(CoCreateInstance(CLSID_AttachmentServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAttachmentExecute,
                                reinterpret_cast<void**>(attachment.GetAddressOf()))))
        return false;
    if (FAILED(attachment->SetLocalPath(path.c_str()))) return false;
    attachment->SetSource(source.c_str());
    return SUCCEEDED(attachment->Save());
}

void Win32DownloadShell::Open(const std::wstring& path) {
    ShellExecuteW(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32DownloadShell::IsDangerous(const std::wstring& path) {
    if (IsCodeRunningType(path)) return true;
    const wchar_t* extension = PathFindExtensionW(path.c_str());
    if (!extension || !*extension) return false;
    return AssocIsDangerous(extension) != FALSE;
}

bool Win32DownloadShell::ConfirmRisk(WindowRef owner, const std::wstring& text) {
    return MessageBoxW(ToHwnd(owner), text.c_str(), kCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

namespace {

// What a worker uses, kept alive by the worker itself.
struct PlatformWorkerServices {
    WinInetClient http;
    Win32IncomingFiles files;
    WorkerServices services{http,
                            files,
                            PlatformDialogs(),
                            SystemAnsiCodePage(),
                            [] { return std::make_unique<MsxmlDocument>(); },
                            [] { return static_cast<double>(GetTickCount64()) / 86400000.0; },
                            &SteadySeconds};
};

template <class Body>
TransferOutcome RunUnderProgress(const std::function<void(TransferJob&)>& fill, Body body) {
    auto dialog = Win32ProgressDialog::Create();
    fill(dialog->Job());
    auto services = std::make_shared<PlatformWorkerServices>();
    dialog->StartWorker([services, body = std::move(body)](ProgressDialog& d) { body(d, services->services); });
    const INT_PTR code = dialog->Run(GetActiveWindow());
    TransferOutcome outcome;
    outcome.endCode = static_cast<int>(code);
    outcome.cancelled = dialog->Job().Cancelled;
    outcome.succeeded = dialog->Job().Succeeded;
    return outcome;
}

}  // namespace

TransferOutcome Win32TransferRunner::RunSingle(const std::function<void(TransferJob&)>& fill, std::uint64_t expected) {
    return RunUnderProgress(fill, [expected](ProgressDialog& d, WorkerServices& s) { RunSingleDownload(d, s, expected); });
}

TransferOutcome Win32TransferRunner::RunMulti(const std::function<void(TransferJob&)>& fill,
                                              std::vector<ListedFile> files) {
    auto list = std::make_shared<std::vector<ListedFile>>(std::move(files));
    return RunUnderProgress(fill, [list](ProgressDialog& d, WorkerServices& s) { RunMultiDownload(d, s, *list); });
}

bool PlatformQuestions::AskYesNo(const std::wstring& caption, const std::wstring& text) {
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
}

}  // namespace qm
