#include "download/win32/download_com.h"

#include <wrl/client.h>

#include "control/win32/html_page.h"
#include "control/win32/page_script_win32.h"
#include "download/download_operation.h"
#include "download/win32/download_win32.h"
#include "download/win32/file_download_dialog.h"
#include "localfiles/win32/local_files_win32.h"
#include "ui/win32/dialogs_win32.h"

namespace qm {

HRESULT RunDownloadFile(FileDragDrop& control, const std::wstring& elementId) {
    // Copies taken before any page script runs: Init may bind another document meanwhile.
    Microsoft::WRL::ComPtr<IHTMLDocument2> document = control.Document();
    Microsoft::WRL::ComPtr<IHTMLDocument3> document3 = control.Document3();
    const std::wstring serverName = control.ServerName();
    HtmlPageElements page(document3.Get());
    HtmlPageScripts scripts(document.Get(), [](const std::wstring& text) { ShowMessage(PlatformDialogs(), text); });
    RegistrySettingsStore settings;
    PlatformQuestions questions;
    Win32DownloadShell shell;
    FileDownloadDialog prompt;
    Win32TransferRunner runner;
    DownloadContext context{page,
                            scripts,
                            PlatformDialogs(),
                            questions,
                            settings,
                            LocalFileSystem(),
                            LocalSystemText(),
                            shell,
                            prompt,
                            runner,
                            control.TrackedFiles(),
                            ExpandEnvironmentText,
                            ToWindowRef(control.DocumentWindow()),
                            serverName,
                            control.ServerPort(),
                            control.RequestFlags()};
    return DownloadFile(context, elementId) == 0 ? S_OK : S_FALSE;
}

}  // namespace qm
