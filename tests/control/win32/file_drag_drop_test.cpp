#include "control/win32/file_drag_drop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/win32/drop_setup.h"
#include "support/win32/fake_html_document.h"

namespace qm {
namespace {

using Microsoft::WRL::ComPtr;
using Files = std::vector<std::wstring>;

struct HandOver {
    std::wstring elementId;
    Files files;
    std::optional<Files> entryMeanwhile;
    HWND window;
};
std::vector<HandOver> handOvers;

HRESULT RecordingUploadSetup(FileDragDrop& control, const std::wstring& elementId, const Files& files) {
    handOvers.push_back({elementId, files, TheDroppedFileTable().Find(KeyOf(control.DocumentWindow())),
                         control.DocumentWindow()});
    return S_FALSE;
}

class UploadDroppedFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        handOvers.clear();
        state_ = std::make_shared<testing::FakePageState>();
        state_->href = L"http://127.0.0.1:8080/page.aspx";
        document_ = testing::MakeFakeHtmlDocument(state_);
        TheDroppedFileTable().Forget(KeyOf(state_->window));
        ASSERT_EQ(FileDragDrop::Create(nullptr, IID_IFileDragDrop, reinterpret_cast<void**>(control_.GetAddressOf())),
                  S_OK);
    }
    void TearDown() override {
        FileDragDrop::SetOperations({});
        control_.Reset();
        document_.Reset();
        CoUninitialize();
    }
    HRESULT Upload(const wchar_t* id) {
        BSTR text = SysAllocString(id);
        const HRESULT hr = control_->UploadDroppedFiles(text);
        SysFreeString(text);
        return hr;
    }
    void Drop(const Files& files) {
        // What the window procedure records; the procedure itself is tested with real drop handles.
        TheDroppedFileTable().Replace(KeyOf(state_->window), files);
    }

    std::shared_ptr<testing::FakePageState> state_;
    ComPtr<IHTMLDocument2> document_;
    ComPtr<IFileDragDrop> control_;
};

TEST_F(UploadDroppedFilesTest, BeforeInitNothingIsTakenAndTheResultIsOne) {
    EXPECT_EQ(Upload(L"up"), S_FALSE);
    EXPECT_TRUE(handOvers.empty());
}

TEST_F(UploadDroppedFilesTest, AWindowWithoutADropGivesZeroThenOneAndNothingIsHandedOver) {
    FileDragDrop::Operations operations;
    operations.uploadSetup = &RecordingUploadSetup;
    FileDragDrop::SetOperations(operations);
    ASSERT_EQ(control_->Init(document_.Get()), S_OK);
    const DWORD start = GetTickCount();
    EXPECT_EQ(Upload(L"up"), S_OK);
    EXPECT_GE(GetTickCount() - start, 2900u) << "the page is given time for a drop still on its way";
    EXPECT_EQ(Upload(L"up"), S_FALSE);
    EXPECT_TRUE(handOvers.empty());
}

TEST_F(UploadDroppedFilesTest, TheLatestDropIsHandedOverOnceWithTheElementIdAndAnEmptiedEntry) {
    FileDragDrop::Operations operations;
    operations.uploadSetup = &RecordingUploadSetup;
    FileDragDrop::SetOperations(operations);
    ASSERT_EQ(control_->Init(document_.Get()), S_OK);
    Drop({L"C:\\first.txt"});
    Drop({L"C:\\second.txt", L"C:\\third;part.txt"});
    EXPECT_EQ(Upload(L"uploadBox"), S_OK) << "the set-up's own result is not passed on";
    ASSERT_EQ(handOvers.size(), 1u);
    EXPECT_EQ(handOvers[0].elementId, L"uploadBox");
    EXPECT_EQ(handOvers[0].files, (Files{L"C:\\second.txt", L"C:\\third;part.txt"}));
    EXPECT_EQ(handOvers[0].window, state_->window);
    ASSERT_TRUE(handOvers[0].entryMeanwhile.has_value());
    EXPECT_TRUE(handOvers[0].entryMeanwhile->empty());
    EXPECT_EQ(Upload(L"uploadBox"), S_FALSE);
    EXPECT_EQ(handOvers.size(), 1u);
}

TEST_F(UploadDroppedFilesTest, WithoutABoundSetUpTheDropIsStillTaken) {
    ASSERT_EQ(control_->Init(document_.Get()), S_OK);
    Drop({L"C:\\a.txt"});
    EXPECT_EQ(Upload(L"up"), S_OK);
    const auto entry = TheDroppedFileTable().Find(KeyOf(state_->window));
    ASSERT_TRUE(entry.has_value());
    EXPECT_TRUE(entry->empty());
}

TEST_F(UploadDroppedFilesTest, AWindowsDropGoesWithTheLastControlThatSetTheWindowUp) {
    ComPtr<IFileDragDrop> second;
    ASSERT_EQ(FileDragDrop::Create(nullptr, IID_IFileDragDrop, reinterpret_cast<void**>(second.GetAddressOf())), S_OK);
    ASSERT_EQ(control_->Init(document_.Get()), S_OK);
    ASSERT_EQ(second->Init(document_.Get()), S_OK);
    Drop({L"C:\\a.txt"});
    control_.Reset();
    EXPECT_EQ(TheDroppedFileTable().Find(KeyOf(state_->window)), (std::optional<Files>(Files{L"C:\\a.txt"})));
    second.Reset();
    EXPECT_FALSE(TheDroppedFileTable().Find(KeyOf(state_->window)).has_value())
        << "the next page on the window must not take the files dropped on this one";
}

TEST_F(UploadDroppedFilesTest, AControlMovedToAnotherWindowLetsGoOfTheFirst) {
    auto otherState = std::make_shared<testing::FakePageState>();
    otherState->href = L"http://127.0.0.1:8080/other.aspx";
    ComPtr<IHTMLDocument2> other = testing::MakeFakeHtmlDocument(otherState);
    ASSERT_NE(otherState->window, state_->window);
    ASSERT_EQ(control_->Init(document_.Get()), S_OK);
    Drop({L"C:\\a.txt"});
    ASSERT_EQ(control_->Init(other.Get()), S_OK);
    EXPECT_FALSE(TheDroppedFileTable().Find(KeyOf(state_->window)).has_value());
    control_.Reset();
}

}  // namespace
}  // namespace qm
