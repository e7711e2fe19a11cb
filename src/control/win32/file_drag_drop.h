#pragma once
// The scriptable control object the page creates.
#include <windows.h>
#include <mshtml.h>
#include <objsafe.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "common/win32/guids.h"
#include "control/control_state.h"
#include "localfiles/edit_journal.h"
#include "localfiles/tracked_files.h"
#include "quillmark_h.h"

namespace qm {

class FileDragDrop final : public IFileDragDrop, public IObjectSafety {
public:
    // Creates an object (aggregated when outer is given) and asks it for riid.
    static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

    // IUnknown: delegates to the controlling unknown.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override { return outer_->QueryInterface(riid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

    // IDispatch, from the registered type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // IFileDragDrop
    STDMETHODIMP Init(IUnknown* pUnkDocument) override;
    STDMETHODIMP DownloadFile(BSTR ElementId) override;
    STDMETHODIMP get_Version(BSTR* pVal) override;
    STDMETHODIMP UploadFile(BSTR ElementId, LONG MultiSelect) override;
    STDMETHODIMP UpdateFile(BSTR HTMLObjectId, INT FileLocation) override;
    STDMETHODIMP UploadDroppedFiles(BSTR ElementId) override;
    STDMETHODIMP ProcessLockedFiles() override;
    STDMETHODIMP get_EnableOutlookSupport(LONG* pVal) override;
    STDMETHODIMP get_EditedCopies(BSTR* pVal) override;
    STDMETHODIMP put_EnableOutlookSupport(LONG newVal) override;

    // IObjectSafety
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

    // The operations live above the control: the module installs them when it loads. Each is called inside the
    // control's method with the operation gate held and the control and its document referenced.
    using Operation = HRESULT (*)(FileDragDrop& control, const std::wstring& elementId);
    using UploadOperation = HRESULT (*)(FileDragDrop& control, const std::wstring& elementId, LONG multiSelect);
    using UpdateOperation = HRESULT (*)(FileDragDrop& control, const std::wstring& objectId, INT fileLocation);
    using TrackedOperation = HRESULT (*)(FileDragDrop& control);
    // The upload set-up that UploadFile and UploadDroppedFiles share: the files are already chosen or dropped.
    // Runs inside the caller's operation; it does not take the gate itself.
    using UploadSetup = HRESULT (*)(FileDragDrop& control, const std::wstring& elementId,
                                    const std::vector<std::wstring>& files);
    struct Operations {
        Operation download = nullptr;
        UploadOperation upload = nullptr;
        UpdateOperation update = nullptr;
        TrackedOperation processLocked = nullptr;
        UploadSetup uploadSetup = nullptr;
    };
    static void SetOperations(const Operations& operations);
    // The bound upload set-up, or nullptr before the module has bound it.
    static UploadSetup BoundUploadSetup();

    // What Init bound and derived, for the operations.
    HWND DocumentWindow() const { return documentWindow_; }
    IHTMLDocument2* Document() const { return document_.Get(); }
    IHTMLDocument3* Document3() const { return document3_.Get(); }
    const std::wstring& ServerName() const { return serverName_; }
    USHORT ServerPort() const { return serverPort_; }
    DWORD RequestFlags() const { return requestFlags_; }

private:
    // The object's own IUnknown, which an aggregating outer object holds.
    struct Inner final : IUnknown {
        FileDragDrop* self;
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
    };

    explicit FileDragDrop(IUnknown* outer);
    template <typename Run>
    HRESULT RunOperation(bool bound, Run&& run);
    void LoadEditedCopies();
    void SaveEditedCopies() noexcept;
    ~FileDragDrop();

    Inner inner_;
    IUnknown* outer_;
    LONG refs_ = 0;

    HWND documentWindow_ = nullptr;
    Microsoft::WRL::ComPtr<IHTMLDocument2> document_;
    Microsoft::WRL::ComPtr<IHTMLDocument3> document3_;
    std::wstring serverName_;
    USHORT serverPort_ = 0;
    DWORD requestFlags_ = 0;
    LONG enableOutlookSupport_ = 0;
    SafetyOptions safety_;
    // Copies opened for editing, with those of the page's server that earlier objects kept in the journal.
    TrackedFileList tracked_;
    // Where the edited copies are kept for the next object; set once the page's server is known.
    std::unique_ptr<JournalFile> journal_;
    std::wstring journalServer_;
    // Set while UpdateFile runs; ProcessLockedFiles does nothing then.
    bool busy_ = false;
    bool siteRefused_ = false;

public:
    TrackedFileList& TrackedFiles() { return tracked_; }
    bool& Busy() { return busy_; }
};

}  // namespace qm
