#pragma once
// The OLE drop target on a page's window: shell files and mail items dropped there are recorded for the window
// and the page is told with its function "ftdFileDragDropForOutlook".
#include <windows.h>
#include <mshtml.h>
#include <ole2.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <functional>
#include <memory>

#include "dragdrop/mail_drop.h"

namespace qm {

inline constexpr wchar_t kDropPageFunction[] = L"ftdFileDragDropForOutlook";

class PageDropTarget final : public IDropTarget {
public:
    using MailClientFactory = std::function<std::unique_ptr<MailClient>()>;
    // Starts with one reference, held by the caller.
    PageDropTarget(HWND window, MailClientFactory mailClient);

    // Keeps the page document whose function is called after a drop, releasing the previous one.
    void SetDocument(IUnknown* document);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

private:
    ~PageDropTarget() = default;
    bool DropShellFiles(IDataObject* data);
    void DropMail();
    void TellPage();

    LONG refs_ = 1;
    HWND window_;
    MailClientFactory mailClient_;
    Microsoft::WRL::ComPtr<IDropTargetHelper> helper_;
    Microsoft::WRL::ComPtr<IHTMLDocument2> document_;
};

// True when the data carries an "Object Descriptor" whose full user type name starts with "Outlook".
bool IsMailClientData(IDataObject* data);

// Sets up the drop target on a page window (bound into the control by the module): the first time for a
// window, any target the browser registered there is revoked and the window gets its own; every time, the
// window's target is handed the document.
void SetUpPageDropTarget(HWND window, bool firstForWindow, IHTMLDocument2* document);

// The target set up on a window, or null.
Microsoft::WRL::ComPtr<PageDropTarget> PageDropTargetOf(HWND window);
// Revokes the window's target and lets go of it and its page.
void ReleasePageDropTarget(HWND window);

}  // namespace qm
