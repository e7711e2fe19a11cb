#include "control/win32/page_script_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/owners.h"
#include "localfiles/win32/local_files_win32.h"
#include "support/win32/script_host.h"
#include "ui/win32/progress_dialog.h"

namespace qm {
namespace {

using Microsoft::WRL::ComPtr;
using testing::MakeScriptDocument;
using testing::ScriptHost;

constexpr wchar_t kPage[] = LR"(
var log = "", keyCalls = 0, reports = "";
function three(a, b, c) { log = arguments.length + ":" + a + "," + b + "," + c; return "got " + a; }
function number() { return 42; }
function nothing() { }
function yes() { return true; }
function thrower() { throw new Error("boom"); }
function key(id, name, path, size, created, modified) {
    keyCalls++;
    log = [id, name, path, size].join("|");
    return "01234567-89ab-cdef-0123-456789abcdef";
}
function report(id, ref, name, size, update, created, modified, key) {
    reports = [id, ref, name, size, update, key].join("|") + "|" + (created != "") + "|" + (modified != "");
}
)";

std::wstring TempFile(const std::wstring& name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + name;
    const UniqueFileHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(h.get(), "hello", 5, &written, nullptr);
    return path;
}

class PageScriptWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        host_ = std::make_unique<ScriptHost>(kPage);
        document_ = MakeScriptDocument(host_->Global());
    }
    void TearDown() override {
        document_.Reset();
        EXPECT_EQ(testing::LiveScriptDocuments(), 0);
        host_.reset();
        CoUninitialize();
    }
    ULONG GlobalReferences() {
        host_->Global()->AddRef();
        return host_->Global()->Release();
    }
    bool Invoke(const std::wstring& name, const std::vector<std::wstring>& arguments, VARIANT* result = nullptr) {
        return InvokePageScript(name, arguments, result, document_.Get(), show_);
    }

    std::unique_ptr<ScriptHost> host_;
    ComPtr<IHTMLDocument2> document_;
    std::vector<std::wstring> messages_;
    ShowMessageFunction show_ = [this](const std::wstring& text) { messages_.push_back(text); };
};

// An allocator that fails at a chosen call and counts what is still live.
int allocationsLeft = 0;
int liveTexts = 0;
BSTR WINAPI CountedAllocate(const OLECHAR* text, UINT length) {
    if (allocationsLeft-- <= 0) return nullptr;
    ++liveTexts;
    return SysAllocStringLen(text, length);
}
void WINAPI CountedFree(BSTR text) {
    --liveTexts;
    SysFreeString(text);
}

TEST(TextArguments, AFailedCopyFreesTheCopiesMadeBeforeIt) {
    const std::vector<std::wstring> texts{L"one", L"two", L"three", L"four"};
    for (int fail = 0; fail < 4; ++fail) {
        allocationsLeft = fail;
        liveTexts = 0;
        EXPECT_THROW(TextArguments(texts, &CountedAllocate, &CountedFree), std::bad_alloc) << fail;
        EXPECT_EQ(liveTexts, 0) << "failing at copy " << fail;
    }
    allocationsLeft = 4;
    liveTexts = 0;
    {
        TextArguments all(texts, &CountedAllocate, &CountedFree);
        const DISPPARAMS params = all.Params();
        ASSERT_EQ(params.cArgs, 4u);
        EXPECT_STREQ(V_BSTR(&params.rgvarg[3]), L"one");
        EXPECT_EQ(liveTexts, 4);
    }
    EXPECT_EQ(liveTexts, 0);
}

TEST_F(PageScriptWin32, AThreeParameterFunctionGetsTheFirstThreeTextsInOrder) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_TRUE(Invoke(L"three", {L"first", L"second", L"third", L"fourth", L""}, &result));
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&result), L"got first");
    VariantClear(&result);
    EXPECT_EQ(host_->Evaluate(L"log"), L"5:first,second,third");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PageScriptWin32, UnknownAndEmptyNamesGiveFalseWithoutAMessage) {
    EXPECT_FALSE(Invoke(L"noSuchFunction", {L"a"}));
    EXPECT_FALSE(Invoke(L"", {L"a"}));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PageScriptWin32, ADocumentWithoutScriptSaysCannotGetScript) {
    ComPtr<IHTMLDocument2> bare = MakeScriptDocument(nullptr);
    EXPECT_FALSE(InvokePageScript(L"three", {L"a"}, nullptr, bare.Get(), show_));
    // Something that is no HTML document at all.
    EXPECT_FALSE(InvokePageScript(L"three", {L"a"}, nullptr, host_->Global(), show_));
    EXPECT_EQ(messages_, (std::vector<std::wstring>{L"Cannot GetScript", L"Cannot GetScript"}));
}

TEST_F(PageScriptWin32, AThrowingFunctionGivesFalseAndLeavesTheResultEmpty) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_FALSE(Invoke(L"thrower", {}, &result));
    EXPECT_EQ(V_VT(&result), VT_EMPTY);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PageScriptWin32, ResultsBecomeScriptValuesOfTheirKind) {
    HtmlPageScripts page(document_.Get(), show_);
    auto text = page.CallPageFunction(L"three", {L"x"});
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->IsText());
    EXPECT_EQ(text->text, L"got x");
    auto number = page.CallPageFunction(L"number", {});
    ASSERT_TRUE(number);
    EXPECT_EQ(number->kind, ScriptValue::Kind::Other);
    auto nothing = page.CallPageFunction(L"nothing", {});
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->kind, ScriptValue::Kind::Empty);
    auto yes = page.CallPageFunction(L"yes", {});
    ASSERT_TRUE(yes);
    EXPECT_TRUE(yes->IsTrue());
    EXPECT_FALSE(page.CallPageFunction(L"thrower", {}));
}

TEST_F(PageScriptWin32, EveryCallReleasesWhatItObtained) {
    const ULONG before = GlobalReferences();
    VARIANT result;
    VariantInit(&result);
    for (int i = 0; i < 3; ++i) {
        Invoke(L"three", {L"a", L"b", L"c"}, &result);
        VariantClear(&result);
        Invoke(L"thrower", {L"a"}, &result);
        Invoke(L"noSuchFunction", {});
    }
    EXPECT_EQ(GlobalReferences(), before);
}

TEST_F(PageScriptWin32, KeyRequestsThroughARealScript) {
    HtmlPageScripts page(document_.Get(), show_);
    TransferJob job;
    job.ElementId = L"el";
    job.Descriptor.FileName = L"qm-page-key.txt";
    job.Descriptor.LocalPath = TempFile(L"qm-page-key.txt");
    job.Descriptor.FileSize = 5;

    job.BeforeUploadScript = L"key";
    EXPECT_EQ(RunKeyRequest(job, page, LocalFileSystem()), L"01234567-89ab-cdef-0123-456789abcdef");
    EXPECT_EQ(host_->Evaluate(L"log"), L"el|qm-page-key.txt|" + job.Descriptor.LocalPath + L"|5");
    job.BeforeUploadScript = L"number";
    EXPECT_EQ(RunKeyRequest(job, page, LocalFileSystem()), L"");
    job.BeforeUploadScript = L"thrower";
    EXPECT_EQ(RunKeyRequest(job, page, LocalFileSystem()), L"-1");
    job.BeforeUploadScript = L"noSuchFunction";
    EXPECT_EQ(RunKeyRequest(job, page, LocalFileSystem()), L"-1");
    EXPECT_TRUE(messages_.empty());
    DeleteFileW(job.Descriptor.LocalPath.c_str());
}

TEST_F(PageScriptWin32, AWorkersRequestsRunOnTheUiThreadWhileTheDialogRuns) {
    const DWORD uiThread = GetCurrentThreadId();
    auto dialog = Win32ProgressDialog::Create();
    TransferJob& job = dialog->Job();
    job.Mode = TransferMode::Upload;
    job.ElementId = L"upload-element";
    job.BeforeUploadScript = L"key";

    std::vector<DWORD> handlerThreads;
    auto pageHandler = PageScriptRequestHandler(document_.Get(), show_);
    dialog->SetScriptRequestHandler([&](ProgressDialog& d) {
        handlerThreads.push_back(GetCurrentThreadId());
        pageHandler(d);
    });

    const std::wstring path = TempFile(L"qm-page-request.txt");
    std::vector<std::wstring> keysSeen;
    DWORD workerThread = 0;
    dialog->StartWorker([&](ProgressDialog& d) {
        workerThread = GetCurrentThreadId();
        TransferJob& j = d.Job();
        j.Descriptor.FileName = L"qm-page-request.txt";
        j.Descriptor.LocalPath = path;
        j.Descriptor.FileSize = 5;
        for (int i = 0; i < 2; ++i) {  // the same request twice, as the worker repeats it for an empty key
            j.CurrentPrimKey.clear();
            d.RequestScript(kGetPrimKeyRequest);
            keysSeen.push_back(j.CurrentPrimKey);
        }
        j.Descriptor.ElementId = j.ElementId;
        j.Descriptor.FileRef = L"REF-1";
        j.Descriptor.PrimKey = j.CurrentPrimKey;
        j.Descriptor.AfterUploadScript = L"report";
        d.RequestScript(kSaveFileInfoRequest);
        d.End(kEndUploadDone);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndUploadDone);
    EXPECT_TRUE(dialog->WaitForWorker(10000));

    EXPECT_EQ(keysSeen, (std::vector<std::wstring>(2, L"01234567-89ab-cdef-0123-456789abcdef")));
    EXPECT_EQ(host_->Evaluate(L"keyCalls"), L"2");
    EXPECT_EQ(host_->Evaluate(L"reports"),
              L"upload-element|REF-1|qm-page-request.txt|5|false|01234567-89ab-cdef-0123-456789abcdef|true|true");
    ASSERT_EQ(handlerThreads.size(), 3u);
    for (DWORD id : handlerThreads) EXPECT_EQ(id, uiThread);
    EXPECT_NE(workerThread, uiThread);
    EXPECT_TRUE(messages_.empty());
    DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace qm
