#include <windows.h>
#include <objsafe.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <memory>

#include "control/win32/file_drag_drop.h"
#include "control/win32/html_page.h"
#include "module/win32/module_under_test.h"
#include "quillmark_h.h"
#include "support/win32/fake_html_document.h"

namespace qm {
namespace {

using namespace qm::testing;
using Microsoft::WRL::ComPtr;

// The control created by COM from the registered module, as a page gets it.
class RegisteredControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureRegistered();
        if (HasFatalFailure()) return;
        ASSERT_EQ(CoCreateInstance(CLSID_FileDragDrop, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(dispatch.GetAddressOf())),
                  S_OK);
    }

    DISPID IdOf(const wchar_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = -1;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << Narrow(name);
        return id;
    }

    HRESULT Get(DISPID id, VARIANT& result) {
        DISPPARAMS none = {};
        VariantInit(&result);
        return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                nullptr);
    }

    ComPtr<IDispatch> dispatch;
};

TEST_F(RegisteredControlTest, NamesResolveToTheFixedDispatchIds) {
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(IdOf(L"Init"), 1);
    EXPECT_EQ(IdOf(L"DownloadFile"), 2);
    EXPECT_EQ(IdOf(L"Version"), 3);
    EXPECT_EQ(IdOf(L"UploadFile"), 4);
    EXPECT_EQ(IdOf(L"UpdateFile"), 5);
    EXPECT_EQ(IdOf(L"UploadDroppedFiles"), 6);
    EXPECT_EQ(IdOf(L"ProcessLockedFiles"), 7);
    EXPECT_EQ(IdOf(L"EnableOutlookSupport"), 8);
    EXPECT_EQ(IdOf(L"EditedCopies"), 9);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(RegisteredControlTest, VersionReadByNameIsTheFileVersion) {
    VARIANT result;
    ASSERT_EQ(Get(IdOf(L"Version"), result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(result.bstrVal, SysStringLen(result.bstrVal)), L"2,2,0,3");
    VariantClear(&result);
}

TEST_F(RegisteredControlTest, EnableOutlookSupportIsStoredAndReadBack) {
    const DISPID id = IdOf(L"EnableOutlookSupport");
    VARIANT result;
    ASSERT_EQ(Get(id, result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 1;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &named, 1, 1};
    ASSERT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                               nullptr),
              S_OK);
    ASSERT_EQ(Get(id, result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);
}

TEST_F(RegisteredControlTest, EditedCopiesReadBeforeInitAreNone) {
    VARIANT result;
    ASSERT_EQ(Get(IdOf(L"EditedCopies"), result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(result.bstrVal), 0u);
    VariantClear(&result);
}

TEST_F(RegisteredControlTest, InitRefusesWhatIsNotAnHtmlDocument) {
    ComPtr<IFileDragDrop> control;
    ASSERT_EQ(dispatch.As(&control), S_OK);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    EXPECT_EQ(control->Init(stream.Get()), E_INVALIDARG);
    EXPECT_EQ(control->Init(nullptr), E_INVALIDARG);
}

TEST_F(RegisteredControlTest, InitByNameWithAPageDocumentSucceeds) {
    auto state = std::make_shared<FakePageState>();
    state->href = L"https://host/app/page?x=1";
    {
        ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
        ASSERT_TRUE(state->window);
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_UNKNOWN;
        argument.punkVal = document.Get();
        DISPPARAMS params = {&argument, nullptr, 1, 0};
        VARIANT result;
        VariantInit(&result);
        ASSERT_EQ(dispatch->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                   nullptr),
                  S_OK);
        EXPECT_EQ(state->hrefReads, 1);
        dispatch.Reset();
    }
    EXPECT_EQ(state->liveObjects, 0) << "the control kept page objects after its release";
}

TEST_F(RegisteredControlTest, SafetyOptionsAreSetPerMaskAndReportedForKnownInterfaces) {
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(dispatch->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())), S_OK);
    DWORD supported = 0xFF, enabled = 0xFF;
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 1u);
    EXPECT_EQ(enabled, 0u);

    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), S_OK);
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0), S_OK);
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IFileDragDrop, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 0u);

    // The interface id is not examined when setting; bits outside the mask stay.
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersist, 3, 2), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), S_OK);
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IUnknown, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 1u);
    EXPECT_EQ(enabled, 3u);

    supported = enabled = 0xFF;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersist, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr), E_POINTER);
}

// The control made directly, to look at what Init derived.
class ControlObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(FileDragDrop::Create(nullptr, IID_IFileDragDrop, reinterpret_cast<void**>(control.GetAddressOf())),
                  S_OK);
        object = static_cast<FileDragDrop*>(control.Get());
    }

    std::shared_ptr<FakePageState> Page(const std::wstring& href) {
        auto state = std::make_shared<FakePageState>();
        state->href = href;
        return state;
    }

    ComPtr<IFileDragDrop> control;
    FileDragDrop* object = nullptr;
};

TEST_F(ControlObjectTest, StartsWithoutLocation) {
    EXPECT_EQ(object->ServerPort(), 0);
    EXPECT_EQ(object->ServerName(), L"");
    EXPECT_EQ(object->Document(), nullptr);
    EXPECT_EQ(object->DocumentWindow(), nullptr);
}

TEST_F(ControlObjectTest, HttpsDeepPageGivesHostDefaultPortAndSecureFlags) {
    auto state = Page(L"https://host/app/page?x=1");
    ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
    ASSERT_EQ(control->Init(document.Get()), S_OK);
    EXPECT_EQ(object->ServerName(), L"host");
    EXPECT_EQ(object->ServerPort(), 443);
    EXPECT_EQ(object->RequestFlags(), 0xA4C00000u);
    EXPECT_EQ(object->DocumentWindow(), state->window);
    EXPECT_EQ(object->Document(), document.Get());
    EXPECT_NE(object->Document3(), nullptr);
}

TEST_F(ControlObjectTest, HttpPageWithPortGivesThatPortAndPlainFlags) {
    auto state = Page(L"http://host:8080/");
    ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
    ASSERT_EQ(control->Init(document.Get()), S_OK);
    EXPECT_EQ(object->ServerName(), L"host");
    EXPECT_EQ(object->ServerPort(), 8080);
    EXPECT_EQ(object->RequestFlags(), 0xA4400000u);
}

TEST_F(ControlObjectTest, InitAgainRebindsTheDocumentButKeepsTheLocation) {
    auto first = Page(L"http://host:8080/");
    auto second = Page(L"https://other/");
    ComPtr<IHTMLDocument2> firstDocument = MakeFakeHtmlDocument(first);
    ComPtr<IHTMLDocument2> secondDocument = MakeFakeHtmlDocument(second);
    ASSERT_EQ(control->Init(firstDocument.Get()), S_OK);
    ASSERT_EQ(control->Init(secondDocument.Get()), S_OK);
    EXPECT_EQ(object->Document(), secondDocument.Get());
    EXPECT_EQ(object->DocumentWindow(), second->window);
    EXPECT_EQ(second->hrefReads, 0) << "the location is read only while the port is unknown";
    EXPECT_EQ(object->ServerName(), L"host");
    EXPECT_EQ(object->ServerPort(), 8080);
    EXPECT_EQ(object->RequestFlags(), 0xA4400000u);

    // A refused Init changes nothing.
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    EXPECT_EQ(control->Init(stream.Get()), E_INVALIDARG);
    EXPECT_EQ(object->Document(), secondDocument.Get());
    EXPECT_EQ(object->DocumentWindow(), second->window);
}

TEST_F(ControlObjectTest, FilePageLeavesThePortUnknownSoTheNextInitReadsAgain) {
    auto state = Page(L"file:///C:/pages/index.html");
    ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
    ASSERT_EQ(control->Init(document.Get()), S_OK);
    EXPECT_EQ(object->ServerPort(), 0);
    EXPECT_EQ(object->RequestFlags(), 0xA4400000u);
    state->href = L"http://host/";
    ASSERT_EQ(control->Init(document.Get()), S_OK);
    EXPECT_EQ(state->hrefReads, 2);
    EXPECT_EQ(object->ServerName(), L"host");
    EXPECT_EQ(object->ServerPort(), 80);
}

TEST_F(ControlObjectTest, ReleasedControlLeavesNoPageObjectsBehind) {
    auto state = Page(L"http://host/");
    {
        ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
        ASSERT_EQ(control->Init(document.Get()), S_OK);
        control.Reset();
        object = nullptr;
    }
    EXPECT_EQ(state->liveObjects, 0);
}

TEST(HtmlPageElementsTest, FindsElementsAndReadsOnlyTextAttributes) {
    auto state = std::make_shared<FakePageState>();
    state->elements[L"file1"] = {{L"ViewName", std::wstring(L"Documents")},
                                 {L"AllowDrop", std::wstring(L"True")},
                                 {L"FileSize", 1234L},
                                 {L"ExecuteScriptAfterUpload", std::wstring()}};
    {
        ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
        ComPtr<IHTMLDocument3> document3;
        ASSERT_EQ(document.As(&document3), S_OK);
        HtmlPageElements page(document3.Get());
        EXPECT_EQ(page.FindElement(L"missing"), nullptr);
        auto element = page.FindElement(L"file1");
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->TextAttribute(L"ViewName"), std::wstring(L"Documents"));
        EXPECT_EQ(element->TextAttribute(L"FileSize"), std::nullopt) << "a number counts as absent";
        EXPECT_EQ(element->TextAttribute(L"PrimKey"), std::nullopt);
        EXPECT_EQ(element->TextAttribute(L"ExecuteScriptAfterUpload"), std::wstring());
        EXPECT_TRUE(BoolAttribute(*element, L"AllowDrop"));
        EXPECT_FALSE(BoolAttribute(*element, L"FileSize", false));
    }
    EXPECT_EQ(state->liveObjects, 0);
}

TEST(PageAddressTest, ReadsTheParentWindowsLocation) {
    auto state = std::make_shared<FakePageState>();
    state->href = L"https://host/app/page?x=1";
    ComPtr<IHTMLDocument2> document = MakeFakeHtmlDocument(state);
    EXPECT_EQ(PageAddress(document.Get()), L"https://host/app/page?x=1");
    EXPECT_EQ(state->hrefReads, 1);
}

}  // namespace
}  // namespace qm
