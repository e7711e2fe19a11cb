#include "dragdrop/win32/mail_client_win32.h"

#include <ole2.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

#include "common/win32/owners.h"
#include "control/win32/drop_setup.h"

namespace qm {

using Microsoft::WRL::ComPtr;

namespace {

// The client's value for a mail message in an item's Class property.
constexpr long kMailItemClass = 43;

// Calls a member by name; arguments in their natural order. False on any failure.
bool CallByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments,
                VARIANT* result) {
    if (!object) return false;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    // Automation wants the last argument first.
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                         0};
    ExcepInfo exception;
    UINT argumentError = 0;
    return SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception.get(),
                                    &argumentError));
}

// An object member's value as an object, or null.
ComPtr<IDispatch> ObjectOf(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments = {}) {
    Variant value;
    if (!CallByName(object, name, flags, std::move(arguments), value.get())) return nullptr;
    if (V_VT(value.get()) != VT_DISPATCH || !V_DISPATCH(value.get())) return nullptr;
    return ComPtr<IDispatch>(V_DISPATCH(value.get()));
}

std::optional<long> NumberOf(IDispatch* object, const wchar_t* name) {
    Variant value;
    if (!CallByName(object, name, DISPATCH_PROPERTYGET, {}, value.get())) return std::nullopt;
    if (FAILED(VariantChangeType(value.get(), value.get(), 0, VT_I4))) return std::nullopt;
    return V_I4(value.get());
}

VARIANT TextArgument(BSTR text) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = text;
    return value;
}

VARIANT BoolArgument(bool on) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = on ? VARIANT_TRUE : VARIANT_FALSE;
    return value;
}

class AutomationMailItem final : public MailItem {
public:
    explicit AutomationMailItem(ComPtr<IDispatch> item) : item_(std::move(item)) {}
    bool IsMail() override {
        const auto kind = NumberOf(item_.Get(), L"Class");
        return kind && *kind == kMailItemClass;
    }
    std::optional<std::wstring> Subject() override {
        Variant value;
        if (!CallByName(item_.Get(), L"Subject", DISPATCH_PROPERTYGET, {}, value.get())) return std::nullopt;
        if (V_VT(value.get()) == VT_EMPTY || V_VT(value.get()) == VT_NULL) return std::wstring();
        if (FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) return std::nullopt;
        BSTR text = V_BSTR(value.get());
        return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    }
    bool SaveAs(const std::wstring& path) override {
        const Bstr text(path);
        if (!text) return false;
        // The type argument is left out: the client's own message-file format.
        if (!CallByName(item_.Get(), L"SaveAs", DISPATCH_METHOD, {TextArgument(text.get())}, nullptr)) return false;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

private:
    ComPtr<IDispatch> item_;
};

class AutomationSelection final : public MailSelection {
public:
    AutomationSelection(ComPtr<IDispatch> application, ComPtr<IDispatch> nameSpace, ComPtr<IDispatch> explorer,
                        ComPtr<IDispatch> selection)
        : application_(std::move(application)), nameSpace_(std::move(nameSpace)), explorer_(std::move(explorer)),
          selection_(std::move(selection)) {}
    std::optional<long> Count() override { return NumberOf(selection_.Get(), L"Count"); }
    std::unique_ptr<MailItem> Item(long index) override {
        VARIANT number;
        VariantInit(&number);
        V_VT(&number) = VT_I4;
        V_I4(&number) = index;
        ComPtr<IDispatch> item = ObjectOf(selection_.Get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {number});
        if (!item) return nullptr;
        return std::make_unique<AutomationMailItem>(std::move(item));
    }

private:
    // Released in reverse: selection, explorer, namespace, application.
    ComPtr<IDispatch> application_;
    ComPtr<IDispatch> nameSpace_;
    ComPtr<IDispatch> explorer_;
    ComPtr<IDispatch> selection_;
};

class AutomationMailClient final : public MailClient {
public:
    std::unique_ptr<MailSelection> ActiveSelection() override {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(kMailClientProgId, &clsid))) return nullptr;
        ComPtr<IUnknown> unknown;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&unknown))) || !unknown)
            return nullptr;
        if (FAILED(OleRun(unknown.Get()))) return nullptr;
        ComPtr<IDispatch> application;
        if (FAILED(unknown.As(&application)) || !application) return nullptr;

        const Bstr mapi(std::wstring(L"MAPI"));
        const Bstr empty(std::wstring{});
        ComPtr<IDispatch> nameSpace = ObjectOf(application.Get(), L"GetNamespace", DISPATCH_METHOD,
                                               {TextArgument(mapi.get())});
        if (!nameSpace) return nullptr;
        // Empty profile and password, no dialog, no new session.
        if (!CallByName(nameSpace.Get(), L"Logon", DISPATCH_METHOD,
                        {TextArgument(empty.get()), TextArgument(empty.get()), BoolArgument(false),
                         BoolArgument(false)},
                        nullptr))
            return nullptr;
        ComPtr<IDispatch> explorer = ObjectOf(application.Get(), L"ActiveExplorer", DISPATCH_METHOD);
        if (!explorer) return nullptr;
        ComPtr<IDispatch> selection = ObjectOf(explorer.Get(), L"Selection", DISPATCH_PROPERTYGET);
        if (!selection) return nullptr;
        return std::make_unique<AutomationSelection>(std::move(application), std::move(nameSpace),
                                                     std::move(explorer), std::move(selection));
    }
};

}  // namespace

std::unique_ptr<MailClient> MakeAutomationMailClient() { return std::make_unique<AutomationMailClient>(); }

std::wstring MailDropFolder() {
    const std::wstring root = MailFolderRoot();
    if (root.empty()) return std::wstring();
    if (!CreateDirectoryW(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
    // A folder per drop: a later drop, from this page or another, never overwrites or adds to its files.
    static std::atomic<unsigned> drops{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = root + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++drops) + L"\\";
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    }
    return std::wstring();
}

}  // namespace qm
