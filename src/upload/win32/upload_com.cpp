#include "upload/win32/upload_com.h"

#include <wrl/client.h>

#include "control/win32/html_page.h"
#include "control/win32/page_script_win32.h"
#include "localfiles/win32/local_files_win32.h"
#include "protocol/win32/ansi_code_page.h"
#include "ui/win32/dialogs_win32.h"
#include "upload/upload_operation.h"
#include "upload/win32/save_to_server_dialog.h"
#include "upload/win32/upload_win32.h"

namespace qm {
namespace {

// The ports of one operation. Copies of the document are taken before any page script runs: Init may bind
// another document meanwhile.
class UploadPorts {
public:
    explicit UploadPorts(FileDragDrop& control)
        : document_(control.Document()),
          document3_(control.Document3()),
          page_(document3_.Get()),
          scripts_(document_.Get(), [](const std::wstring& text) { ShowMessage(PlatformDialogs(), text); }),
          runner_(scripts_, LocalFileSystem()),
          context_{page_,
                   scripts_,
                   PlatformDialogs(),
                   settings_,
                   LocalFileSystem(),
                   runner_,
                   savePrompt_,
                   confirm_,
                   control.TrackedFiles(),
                   ExpandEnvironmentText,
                   ToWindowRef(control.DocumentWindow()),
                   control.ServerName(),
                   control.ServerPort(),
                   control.RequestFlags(),
                   &control.Busy(),
                   &LocalSystemText(),
                   &SystemAnsiCodePage()} {}
    UploadContext& Context() { return context_; }

private:
    Microsoft::WRL::ComPtr<IHTMLDocument2> document_;
    Microsoft::WRL::ComPtr<IHTMLDocument3> document3_;
    HtmlPageElements page_;
    HtmlPageScripts scripts_;
    RegistrySettingsStore settings_;
    Win32UploadRunner runner_;
    SaveToServerDialog savePrompt_;
    Win32SendConfirmation confirm_;
    UploadContext context_;
};

HRESULT Status(int status) { return status == 0 ? S_OK : S_FALSE; }

}  // namespace

HRESULT RunUploadFile(FileDragDrop& control, const std::wstring& elementId, LONG multiSelect) {
    UploadPorts ports(control);
    return Status(UploadFile(ports.Context(), elementId, multiSelect));
}

HRESULT RunUploadSetup(FileDragDrop& control, const std::wstring& elementId, const std::vector<std::wstring>& files) {
    UploadPorts ports(control);
    return Status(UploadSetup(ports.Context(), elementId, files));
}

HRESULT RunUpdateFile(FileDragDrop& control, const std::wstring& objectId, INT fileLocation) {
    UploadPorts ports(control);
    return Status(UpdateFile(ports.Context(), objectId, fileLocation));
}

HRESULT RunProcessLockedFiles(FileDragDrop& control) {
    UploadPorts ports(control);
    ProcessLockedFiles(ports.Context());
    return S_OK;
}

}  // namespace qm
