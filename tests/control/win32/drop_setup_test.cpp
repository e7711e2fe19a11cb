#include "control/win32/drop_setup.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/win32/owners.h"
#include "comkit/drag_data.h"

namespace qm {
namespace {

using Files = std::vector<std::wstring>;

// Controls, as the drop handling sees them: owners it only compares.
const int ownerA = 0, ownerB = 0;
const void* const kOwner = &ownerA;
const void* const kOtherOwner = &ownerB;

int originalCalls = 0;
int originalDrops = 0;

LRESULT CALLBACK OriginalProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 7) {
        ++originalCalls;
        return 77;
    }
    if (message == WM_DROPFILES) ++originalDrops;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow() {
    static const ATOM kind = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = OriginalProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QmDropSetupTest";
        return RegisterClassW(&windowClass);
    }();
    EXPECT_NE(kind, 0);
    return CreateWindowExW(0, L"QmDropSetupTest", L"drop", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// A real shell drop handle of the given paths, as the shell posts it.
HDROP MakeDrop(const Files& paths) { return static_cast<HDROP>(comkit::MakeDropFilesData(paths)); }

class ShellDropTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"qm-drop-setup\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        CreateDirectoryW((folder_ + L"sub").c_str(), nullptr);
        CreateDirectoryW((folder_ + L"readonly-dir").c_str(), nullptr);
        SetFileAttributesW((folder_ + L"readonly-dir").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
        for (const wchar_t* name : {L"a.txt", L"b;c.txt"}) {
            const UniqueFileHandle file(
                CreateFileW((folder_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(file);
        }
        window_ = MakeWindow();
        ASSERT_NE(window_, nullptr);
        originalCalls = originalDrops = 0;
    }
    void TearDown() override { DestroyWindow(window_); }

    void Drop(const Files& paths) { SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0); }
    std::optional<Files> Entry() { return TheDroppedFileTable().Find(KeyOf(window_)); }

    std::wstring folder_;
    HWND window_ = nullptr;
};

TEST_F(ShellDropTest, ASecondSetUpOnTheWindowDoesNotInstallTwiceAndOtherMessagesReachTheOldProcedure) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    const LONG_PTR installed = GetWindowLongPtrW(window_, GWLP_WNDPROC);
    EXPECT_NE(installed, reinterpret_cast<LONG_PTR>(&OriginalProcedure));
    SetUpDropHandling(window_, false, nullptr, kOwner);
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), installed);
    // Installed twice, the saved procedure would be the drop procedure itself and the message would never
    // arrive (or loop).
    EXPECT_EQ(SendMessageW(window_, WM_APP + 7, 0, 0), 77);
    EXPECT_EQ(originalCalls, 1);
    EXPECT_TRUE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(ShellDropTest, TwoFilesAndFoldersRecordTheFilesInDropOrderAndTheDropIsNotPassedOn) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    Drop({folder_ + L"b;c.txt", folder_ + L"sub", folder_ + L"a.txt", folder_ + L"readonly-dir"});
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"b;c.txt", folder_ + L"a.txt"})));
    EXPECT_EQ(originalDrops, 0);
}

TEST_F(ShellDropTest, OnlyFoldersGiveAnEmptyEntryAndASecondDropReplacesTheFirst) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    Drop({folder_ + L"a.txt"});
    Drop({folder_ + L"sub"});
    ASSERT_TRUE(Entry().has_value());
    EXPECT_TRUE(Entry()->empty());
    Drop({folder_ + L"b;c.txt"});
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"b;c.txt"})));
}

TEST_F(ShellDropTest, APathLongerThanTheOldBufferIsKeptWhole) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    const std::wstring longName = folder_ + std::wstring(300, L'n') + L".txt";
    Drop({longName});
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{longName})));
}

TEST_F(ShellDropTest, TheWaitLetsAPostedDropLandWithoutDispatchingOtherMessages) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    PostMessageW(window_, WM_APP + 7, 0, 0);
    PostMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder_ + L"a.txt"})), 0);
    WaitForDrops(window_, 100);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"a.txt"})));
    EXPECT_EQ(originalCalls, 0) << "page script must not run inside the wait";
    MSG message;
    while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_EQ(originalCalls, 1);
}

TEST_F(ShellDropTest, ADestroyedWindowsHandleIsSetUpAfreshAndItsFilesForgotten) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    Drop({folder_ + L"a.txt"});
    const WindowKey old = KeyOf(window_);
    DestroyWindow(window_);
    EXPECT_FALSE(TheDroppedFileTable().Find(old).has_value());
    window_ = MakeWindow();
    SetUpDropHandling(window_, false, nullptr, kOwner);
    EXPECT_NE(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&OriginalProcedure));
    EXPECT_EQ(SendMessageW(window_, WM_APP + 7, 0, 0), 77);
}

HWND setUpWindow = nullptr;
int setUpCalls = 0;
bool setUpFirst = false;
IHTMLDocument2* setUpDocument = nullptr;
void RecordingSetup(HWND window, bool first, IHTMLDocument2* document) {
    setUpWindow = window;
    setUpFirst = first;
    setUpDocument = document;
    ++setUpCalls;
}
std::vector<HWND> released;
void RecordingRelease(HWND window) { released.push_back(window); }

TEST_F(ShellDropTest, TheDropTargetSetUpIsToldWhetherTheWindowIsNewAndTheProcedureIsNotInstalled) {
    BindDropTargetSetup(&RecordingSetup, &RecordingRelease);
    setUpCalls = 0;
    auto* document = reinterpret_cast<IHTMLDocument2*>(0x1000);
    SetUpDropHandling(window_, true, document, kOwner);
    EXPECT_EQ(setUpCalls, 1);
    EXPECT_TRUE(setUpFirst);
    EXPECT_EQ(setUpWindow, window_);
    EXPECT_EQ(setUpDocument, document);
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&OriginalProcedure));
    SetUpDropHandling(window_, true, document, kOwner);
    EXPECT_EQ(setUpCalls, 2);
    EXPECT_FALSE(setUpFirst);
    // A window set up for the drop target is not given the shell procedure later either.
    SetUpDropHandling(window_, false, nullptr, kOwner);
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&OriginalProcedure));
    BindDropTargetSetup(nullptr, nullptr);
}

TEST_F(ShellDropTest, OnlyTheLastOwnersLeavingForgetsTheFilesAndGivesTheWindowItsProcedureBack) {
    SetLastError(0);
    SetUpDropHandling(window_, false, nullptr, kOwner);
    SetUpDropHandling(window_, false, nullptr, kOtherOwner);
    Drop({folder_ + L"a.txt"});
    ReleaseDropHandling(window_, kOwner);
    ReleaseDropHandling(window_, kOwner);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"a.txt"}))) << "the other control still owns the drop";
    ReleaseDropHandling(window_, kOtherOwner);
    EXPECT_FALSE(Entry().has_value()) << "a later page on the window must not take the files";
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&OriginalProcedure));
    EXPECT_FALSE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "the window did not accept files before";
    Drop({folder_ + L"b;c.txt"});
    EXPECT_FALSE(Entry().has_value());
    EXPECT_EQ(originalDrops, 1);
    // Set up again afresh by a new control.
    SetUpDropHandling(window_, false, nullptr, kOwner);
    Drop({folder_ + L"b;c.txt"});
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"b;c.txt"})));
    ReleaseDropHandling(window_, kOwner);
}

WNDPROC procedureBelow = nullptr;
LRESULT CALLBACK ProcedureOnTop(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(procedureBelow, window, message, wParam, lParam);
}

TEST_F(ShellDropTest, AProcedureInstalledOverOursStaysAndDropsAreNoLongerRecordedOnceNoControlOwnsTheWindow) {
    SetUpDropHandling(window_, false, nullptr, kOwner);
    procedureBelow = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProcedureOnTop)));
    ReleaseDropHandling(window_, kOwner);
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&ProcedureOnTop))
        << "unhooking ours would cut the other procedure off";
    Drop({folder_ + L"a.txt"});
    EXPECT_FALSE(Entry().has_value());
    EXPECT_EQ(SendMessageW(window_, WM_APP + 7, 0, 0), 77);
    SetUpDropHandling(window_, false, nullptr, kOwner);
    Drop({folder_ + L"a.txt"});
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"a.txt"}))) << "recorded again once owned";
    ReleaseDropHandling(window_, kOwner);
}

TEST_F(ShellDropTest, TheDropTargetTellsTheLatestRemainingOwnersPageAndGoesWithTheLastOwner) {
    BindDropTargetSetup(&RecordingSetup, &RecordingRelease);
    released.clear();
    auto* first = reinterpret_cast<IHTMLDocument2*>(0x1000);
    auto* second = reinterpret_cast<IHTMLDocument2*>(0x2000);
    SetUpDropHandling(window_, true, first, kOwner);
    SetUpDropHandling(window_, true, second, kOtherOwner);
    TheDroppedFileTable().Replace(KeyOf(window_), {folder_ + L"a.txt"});
    setUpCalls = 0;
    ReleaseDropHandling(window_, kOtherOwner);
    EXPECT_EQ(setUpCalls, 1) << "the page of the control that left must not be told of drops";
    EXPECT_FALSE(setUpFirst);
    EXPECT_EQ(setUpDocument, first);
    EXPECT_TRUE(released.empty());
    ReleaseDropHandling(window_, kOwner);
    EXPECT_EQ(released, std::vector<HWND>{window_});
    EXPECT_FALSE(Entry().has_value());
    SetUpDropHandling(window_, true, second, kOwner);
    EXPECT_TRUE(setUpFirst) << "set up afresh after the last owner left";
    ReleaseDropHandling(window_, kOwner);
    BindDropTargetSetup(nullptr, nullptr);
}

TEST_F(ShellDropTest, AWindowDestroyedUnderTheDropTargetIsLetGoAtTheNextSetUp) {
    BindDropTargetSetup(&RecordingSetup, &RecordingRelease);
    released.clear();
    SetUpDropHandling(window_, true, reinterpret_cast<IHTMLDocument2*>(0x1000), kOwner);
    TheDroppedFileTable().Replace(KeyOf(window_), {folder_ + L"a.txt"});
    const HWND dead = window_;
    DestroyWindow(window_);
    window_ = MakeWindow();
    SetUpDropHandling(window_, true, reinterpret_cast<IHTMLDocument2*>(0x2000), kOwner);
    EXPECT_EQ(released, std::vector<HWND>{dead});
    EXPECT_FALSE(TheDroppedFileTable().Find(KeyOf(dead)).has_value());
    ReleaseDropHandling(window_, kOwner);
    BindDropTargetSetup(nullptr, nullptr);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring MakeFolderWithAFile(const std::wstring& folder) {
    CreateDirectoryW(folder.c_str(), nullptr);
    const UniqueFileHandle file(
        CreateFileW((folder + L"item.msg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file);
    return folder;
}

TEST_F(ShellDropTest, ADropsMailFolderGoesWhenALaterDropReplacesItOrTheWindowIsForgotten) {
    const std::wstring root = MailFolderRoot();
    ASSERT_FALSE(root.empty());
    CreateDirectoryW(root.c_str(), nullptr);
    const std::wstring one = MakeFolderWithAFile(root + L"test-one\\");
    const std::wstring two = MakeFolderWithAFile(root + L"test-two\\");
    SetUpDropHandling(window_, false, nullptr, kOwner);
    RecordDrop(window_, {one + L"item.msg"}, one);
    RecordDrop(window_, {two + L"item.msg"}, two);
    EXPECT_FALSE(Exists(one)) << "nothing refers to the replaced drop's messages any more";
    EXPECT_TRUE(Exists(two + L"item.msg"));
    ReleaseDropHandling(window_, kOwner);
    EXPECT_FALSE(Exists(two));
}

TEST_F(ShellDropTest, OnlyAFolderDirectlyInTheMailFolderIsEverRemoved) {
    const std::wstring root = MailFolderRoot();
    CreateDirectoryW(root.c_str(), nullptr);
    const std::wstring outside = MakeFolderWithAFile(folder_ + L"not-mail\\");
    const std::wstring deeper = MakeFolderWithAFile(MakeFolderWithAFile(root + L"test-outer\\") + L"inner\\");
    for (const std::wstring& folder :
         {outside, deeper, root, root + L"..\\qm-drop-setup\\not-mail\\", outside.substr(0, outside.size() - 1)}) {
        RemoveScratchFolder(folder);
    }
    EXPECT_TRUE(Exists(outside + L"item.msg"));
    EXPECT_TRUE(Exists(deeper + L"item.msg"));
    RemoveScratchFolder(root + L"test-outer\\");
    EXPECT_TRUE(Exists(root + L"test-outer\\item.msg")) << "a folder with a folder in it is not one drop's";
}

}  // namespace
}  // namespace qm
