#include "dragdrop/win32/page_drop_target.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/win32/owners.h"
#include "control/win32/drop_setup.h"
#include "dragdrop/drop_effect.h"
#include "dragdrop/win32/mail_client_win32.h"
#include "comkit/drag_data.h"
#include "support/win32/script_host.h"

namespace qm {
namespace {

using Microsoft::WRL::ComPtr;
using namespace qm::testing;
using namespace qm::comkit;
using Files = std::vector<std::wstring>;

constexpr wchar_t kPage[] = L"var drops = 0; function ftdFileDragDropForOutlook() { drops++; }";

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::string ReadBytes(const std::wstring& path) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    char buffer[512];
    DWORD got = 0;
    ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr);
    return std::string(buffer, got);
}

void WriteText(const std::wstring& path, const std::string& text) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The mail client stand-in beside the test program, registered in this (test) prefix once.
bool RegisterMailStandIn() {
    static const bool registered = [] {
        const HMODULE module = LoadLibraryW((ProgramFolder() + L"mailstandin.dll").c_str());
        if (!module) return false;
        auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(module, "DllRegisterServer"));
        return registerServer && SUCCEEDED(registerServer());
    }();
    return registered;
}

class PageDropTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        window_ = CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        TheDroppedFileTable().Forget(KeyOf(window_));
        host_ = std::make_unique<ScriptHost>(kPage);
        document_ = MakeScriptDocument(host_->Global());
        *target_.GetAddressOf() = new PageDropTarget(window_, &MakeAutomationMailClient);
        target_->SetDocument(document_.Get());

        folder_ = TempFolder() + L"qm-ole-drop\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        CreateDirectoryW((folder_ + L"sub").c_str(), nullptr);
        WriteText(folder_ + L"one.txt", "1");
        WriteText(folder_ + L"two.txt", "2");
        SetEnvironmentVariableW(L"QM_MAILSTANDIN", nullptr);
        SetEnvironmentVariableW(L"QM_MAILSTANDIN_LOG", nullptr);
    }
    void TearDown() override {
        target_.Reset();
        document_.Reset();
        host_.reset();
        DestroyWindow(window_);
        OleUninitialize();
    }

    int PageCalls() { return std::stoi(host_->Evaluate(L"drops")); }
    std::optional<Files> Entry() { return TheDroppedFileTable().Find(KeyOf(window_)); }
    HRESULT DropOn(IDataObject* data, DWORD* effect) { return target_->Drop(data, 0, POINTL{10, 10}, effect); }
    // Scripts the mail client stand-in for the next drop.
    void MailClientShows(const std::string& lines) {
        ASSERT_TRUE(RegisterMailStandIn()) << "mailstandin.dll must sit beside the test program";
        const std::wstring script = folder_ + L"mail-script.txt";
        WriteText(script, lines);
        log_ = folder_ + L"mail-log.txt";
        DeleteFileW(log_.c_str());
        SetEnvironmentVariableW(L"QM_MAILSTANDIN", script.c_str());
        SetEnvironmentVariableW(L"QM_MAILSTANDIN_LOG", log_.c_str());
    }
    HRESULT DropMail(const std::wstring& typeName = L"Outlook Mail Message") {
        const auto data = MakeDragData({{ObjectDescriptorFormat(), MakeObjectDescriptorData(typeName, L"Outlook")}});
        DWORD effect = DROPEFFECT_COPY;
        return DropOn(data.Get(), &effect);
    }

    HWND window_ = nullptr;
    std::unique_ptr<ScriptHost> host_;
    ComPtr<IHTMLDocument2> document_;
    ComPtr<PageDropTarget> target_;
    std::wstring folder_;
    std::wstring log_;
};

TEST_F(PageDropTargetTest, DragEnterAnswersByKeysAndOfferDragOverAndDropHandTheOfferBack) {
    TheDroppedFileTable().Replace(KeyOf(window_), {L"C:\\before.txt"});
    const auto data = MakeDragData({{CF_UNICODETEXT, MakeTextData(L"text")}});
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    struct Case {
        DWORD keys, offered, expected;
    } cases[] = {
        {MK_CONTROL | MK_SHIFT, all, DROPEFFECT_NONE},
        {MK_CONTROL, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {MK_SHIFT, all, DROPEFFECT_MOVE},
        {0, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY},
        {0, DROPEFFECT_LINK, DROPEFFECT_LINK},
    };
    for (const auto& c : cases) {
        DWORD effect = c.offered;
        EXPECT_EQ(target_->DragEnter(data.Get(), c.keys | MK_LBUTTON, POINTL{5, 5}, &effect), S_OK);
        EXPECT_EQ(effect, c.expected) << "keys " << c.keys << " offered " << c.offered;
        EXPECT_EQ(target_->DragLeave(), S_OK);
    }
    DWORD over = all;
    EXPECT_EQ(target_->DragOver(MK_CONTROL, POINTL{6, 6}, &over), S_OK);
    EXPECT_EQ(over, all);
    DWORD dropped = DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(DropOn(data.Get(), &dropped), S_OK) << "text changes nothing and is not an error";
    EXPECT_EQ(dropped, DROPEFFECT_MOVE | DROPEFFECT_LINK);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{L"C:\\before.txt"})));
    EXPECT_EQ(PageCalls(), 0);
}

TEST_F(PageDropTargetTest, ShellFilesWithAFolderRecordTheFilesAndTellThePageOnce) {
    const auto data = MakeDragData(
        {{CF_HDROP, MakeDropFilesData({folder_ + L"one.txt", folder_ + L"sub", folder_ + L"two.txt"})}});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(DropOn(data.Get(), &effect), S_OK);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{folder_ + L"one.txt", folder_ + L"two.txt"})));
    EXPECT_EQ(PageCalls(), 1);

    const auto folders = MakeDragData({{CF_HDROP, MakeDropFilesData({folder_ + L"sub"})}});
    EXPECT_EQ(DropOn(folders.Get(), &effect), S_OK);
    ASSERT_TRUE(Entry().has_value());
    EXPECT_TRUE(Entry()->empty()) << "only folders replace the entry with an empty list";
    EXPECT_EQ(PageCalls(), 2);
}

TEST_F(PageDropTargetTest, AFileListThatCannotBeReadFailsTheDropAndChangesNothing) {
    TheDroppedFileTable().Replace(KeyOf(window_), {L"C:\\before.txt"});
    const auto data = MakeDragData({{CF_HDROP, MakeDropFilesData({folder_ + L"one.txt"}), true}});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(DropOn(data.Get(), &effect), E_FAIL);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{L"C:\\before.txt"})));
    EXPECT_EQ(PageCalls(), 0);
}

TEST_F(PageDropTargetTest, OnlyAnObjectDescriptorNamingTheMailClientCounts) {
    EXPECT_TRUE(IsMailClientData(MakeDragData(
        {{CF_UNICODETEXT, MakeTextData(L"x")}, {ObjectDescriptorFormat(), MakeObjectDescriptorData(L"outlook item", L"")}}).Get()));
    EXPECT_FALSE(IsMailClientData(MakeDragData(
        {{ObjectDescriptorFormat(), MakeObjectDescriptorData(L"Word Document", L"Outlook")}}).Get()));
    EXPECT_FALSE(IsMailClientData(MakeDragData({{CF_UNICODETEXT, MakeTextData(L"Outlook")}}).Get()));
    EXPECT_FALSE(IsMailClientData(MakeDragData(
        {{ObjectDescriptorFormat(), MakeObjectDescriptorData(L"Outlook", L""), true}}).Get()))
        << "a descriptor that cannot be read is not the mail client's";
    // A descriptor too short to hold the name.
    const BYTE shortBlock[56] = {};
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof shortBlock);
    memcpy(GlobalLock(memory), shortBlock, sizeof shortBlock);
    GlobalUnlock(memory);
    EXPECT_FALSE(IsMailClientData(MakeDragData({{ObjectDescriptorFormat(), memory}}).Get()));
}

// The folder of the entry's first file, with its separator.
std::wstring FolderOfFirst(const std::optional<Files>& entry) {
    if (!entry || entry->empty()) return std::wstring();
    return entry->front().substr(0, entry->front().rfind(L'\\') + 1);
}

// The folders in the control's mail folder.
int MailFolders() {
    int count = 0;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((TempFolder() + L"Quillmark Mail\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.') ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

TEST_F(PageDropTargetTest, ThreeMailItemsTwoWithOneSubjectAreSavedUnderDistinctSafeNames) {
    MailClientShows("mail Re: a/b <test>\nmail Budget\nmail Re: a/b <test>\n");
    EXPECT_EQ(DropMail(), S_OK);
    const std::wstring mail = FolderOfFirst(Entry());
    const std::wstring root = TempFolder() + L"Quillmark Mail\\";
    ASSERT_GT(mail.size(), root.size());
    EXPECT_EQ(mail.substr(0, root.size()), root);
    EXPECT_EQ(mail.find(L'\\', root.size()), mail.size() - 1) << "a folder of the drop's own in the mail folder";
    const Files expected = {mail + L"Re  a b  test.msg", mail + L"Budget.msg", mail + L"Re  a b  test (2).msg"};
    EXPECT_EQ(Entry(), (std::optional<Files>(expected)));
    EXPECT_EQ(ReadBytes(expected[0]), "mail item 1: Re: a/b <test>");
    EXPECT_EQ(ReadBytes(expected[1]), "mail item 2: Budget");
    EXPECT_EQ(ReadBytes(expected[2]), "mail item 3: Re: a/b <test>");
    EXPECT_EQ(PageCalls(), 1);
    const std::string log = ReadBytes(log_);
    EXPECT_NE(log.find("namespace MAPI\nlogon\nexplorer\n"), std::string::npos) << log;

    // A later drop, from any page, never writes into this drop's folder; the replaced drop's copies go.
    MailClientShows("mail Budget\n");
    EXPECT_EQ(DropMail(), S_OK);
    const std::wstring later = FolderOfFirst(Entry());
    EXPECT_NE(later, mail);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{later + L"Budget.msg"})));
    EXPECT_EQ(GetFileAttributesW(mail.c_str()), INVALID_FILE_ATTRIBUTES);
    RecordDrop(window_, {});
    EXPECT_EQ(GetFileAttributesW(later.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PageDropTargetTest, NoExplorerOrAFailingLogonEndTheDropQuietly) {
    TheDroppedFileTable().Replace(KeyOf(window_), {L"C:\\before.txt"});
    const int folders = MailFolders();
    MailClientShows("noexplorer\nmail Hidden\n");
    EXPECT_EQ(DropMail(), S_OK);
    MailClientShows("logonfail\nmail Hidden\n");
    EXPECT_EQ(DropMail(), S_OK);
    EXPECT_EQ(ReadBytes(log_).find("explorer"), std::string::npos) << "nothing is asked after a failed logon";
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{L"C:\\before.txt"})));
    EXPECT_EQ(PageCalls(), 0);
    EXPECT_EQ(MailFolders(), folders) << "a drop that saved nothing leaves no folder behind";
}

TEST_F(PageDropTargetTest, ItemsThatAreNotMailOrCannotBeSavedAreLeftOutAndTheRestArrive) {
    MailClientShows("other A contact\nsavefail Locked\nmail \nmail CON\n");
    EXPECT_EQ(DropMail(), S_OK);
    const std::wstring mail = FolderOfFirst(Entry());
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{mail + L"Untitled.msg", mail + L"_CON.msg"})));
    EXPECT_EQ(ReadBytes(mail + L"_CON.msg"), "mail item 4: CON");
    EXPECT_EQ(PageCalls(), 1);
}

TEST_F(PageDropTargetTest, WithoutTheMailClientTheDropEndsQuietly) {
    TheDroppedFileTable().Replace(KeyOf(window_), {L"C:\\before.txt"});
    // A client that cannot be had at all.
    PageDropTarget* bare = new PageDropTarget(window_, [] { return std::unique_ptr<MailClient>(); });
    ComPtr<PageDropTarget> target;
    *target.GetAddressOf() = bare;
    target->SetDocument(document_.Get());
    const auto data = MakeDragData({{ObjectDescriptorFormat(), MakeObjectDescriptorData(L"Outlook", L"")}});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(data.Get(), 0, POINTL{1, 1}, &effect), S_OK);
    EXPECT_EQ(Entry(), (std::optional<Files>(Files{L"C:\\before.txt"})));
    EXPECT_EQ(PageCalls(), 0);
}

TEST_F(PageDropTargetTest, EachWindowHasItsOwnTargetAndALaterSetUpOnlyHandsOverTheDocument) {
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ScriptHost otherHost(kPage);
    ComPtr<IHTMLDocument2> otherDocument = MakeScriptDocument(otherHost.Global());

    SetUpPageDropTarget(window_, true, document_.Get());
    const ComPtr<PageDropTarget> first = PageDropTargetOf(window_);
    ASSERT_TRUE(first);
    SetUpPageDropTarget(other, true, otherDocument.Get());
    const ComPtr<PageDropTarget> second = PageDropTargetOf(other);
    ASSERT_TRUE(second);
    EXPECT_NE(first.Get(), second.Get());
    SetUpPageDropTarget(window_, false, document_.Get());
    EXPECT_EQ(PageDropTargetOf(window_).Get(), first.Get()) << "a second set-up on the window makes no new target";

    const auto data = MakeDragData({{CF_HDROP, MakeDropFilesData({folder_ + L"one.txt"})}});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(first->Drop(data.Get(), 0, POINTL{1, 1}, &effect), S_OK);
    EXPECT_EQ(PageCalls(), 1);
    EXPECT_EQ(otherHost.Evaluate(L"drops"), L"0") << "a drop on one page must not call another page";
    EXPECT_EQ(RegisterDragDrop(window_, target_.Get()), DRAGDROP_E_ALREADYREGISTERED);
    EXPECT_EQ(RegisterDragDrop(other, target_.Get()), DRAGDROP_E_ALREADYREGISTERED);
    ReleasePageDropTarget(window_);
    ReleasePageDropTarget(other);
    EXPECT_FALSE(PageDropTargetOf(window_));
    EXPECT_EQ(RevokeDragDrop(window_), DRAGDROP_E_NOTREGISTERED) << "the target was registered and is revoked";
    otherDocument.Reset();
    DestroyWindow(other);
}

}  // namespace
}  // namespace qm
