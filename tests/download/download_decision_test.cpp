#include "download/download_decision.h"

#include <gtest/gtest.h>

#include "support/fake_page_element.h"

namespace qm {
namespace {

using testing::FakePageElement;

DownloadAttributes Read(std::map<std::wstring, std::wstring> attributes, ExpandEnvironment expand = {}) {
    FakePageElement e;
    e.text = std::move(attributes);
    auto a = ReadDownloadAttributes(e, expand);
    EXPECT_TRUE(a.has_value());
    return a.value_or(DownloadAttributes{});
}

TEST(DownloadAttributesTest, PrimKeyAndViewNameAreRequired) {
    FakePageElement e;
    EXPECT_FALSE(ReadDownloadAttributes(e, {}));
    e.text[L"PrimKey"] = L"1";
    EXPECT_FALSE(ReadDownloadAttributes(e, {}));
    e.text.erase(L"PrimKey");
    e.text[L"ViewName"] = L"V";
    EXPECT_FALSE(ReadDownloadAttributes(e, {}));
    e.text[L"PrimKey"] = L"";
    EXPECT_TRUE(ReadDownloadAttributes(e, {}));
}

TEST(DownloadAttributesTest, AbsentAttributesTakeTheirDefaults) {
    const DownloadAttributes a = Read({{L"PrimKey", L"1"}, {L"ViewName", L"V"}});
    EXPECT_EQ(a.FileName, L"UnKnown");
    EXPECT_EQ(a.FileSize, L"0");
    EXPECT_EQ(a.AllowEdit, L"false");
    EXPECT_EQ(a.IsLocked, L"true");
    EXPECT_EQ(a.IsLockedByCurrentUser, L"false");
    EXPECT_EQ(a.OnClickAction, L"prompt");
    EXPECT_EQ(a.OnClickEditMode, L"false");
    EXPECT_EQ(a.EnableAutoSaveToServer, L"true");
    EXPECT_EQ(a.PromptToCreateLocalPath, L"true");
    EXPECT_EQ(a.LocalPath, L"");
    EXPECT_FALSE(a.FileCreated);
    EXPECT_FALSE(a.FileUpdated);
    EXPECT_FALSE(a.HeaderText);
    EXPECT_FALSE(a.FooterText);
    EXPECT_EQ(a.ExecuteScriptAfterDownload, L"");
}

TEST(DownloadAttributesTest, LocalPathIsExpandedThenTrimmed) {
    const DownloadAttributes a =
        Read({{L"PrimKey", L"1"}, {L"ViewName", L"V"}, {L"LocalPath", L"%HOMEDIR%\\Docs "}}, [](const std::wstring& t) {
            std::wstring out = t;
            out.replace(out.find(L"%HOMEDIR%"), 9, L" C:\\Users\\me");
            return out;
        });
    EXPECT_EQ(a.LocalPath, L"C:\\Users\\me\\Docs");
    EXPECT_EQ(Read({{L"PrimKey", L"1"}, {L"ViewName", L"V"}, {L"LocalPath", L"   "}}).LocalPath, L"");
}

// The overflow check must not give up early: every count up to the 64-bit limit is read exactly.
TEST(ByteCount, CountsNearTheSixtyFourBitLimitAreExact) {
    EXPECT_EQ(ParseByteCount(L"10000000000000000000"), 10000000000000000000u);
    EXPECT_EQ(ParseByteCount(L"18000000000000000009"), 18000000000000000009u);
    EXPECT_EQ(ParseByteCount(L"18446744073709551614"), UINT64_MAX - 1);
    EXPECT_EQ(ParseByteCount(L"18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(ParseByteCount(L"18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(ParseByteCount(L"18446744073709551620"), UINT64_MAX);
}

TEST(ByteCount, ParsesSixtyFourBitsAndRefusesNegatives) {
    EXPECT_EQ(ParseByteCount(L"10000"), 10000u);
    EXPECT_EQ(ParseByteCount(L"  +42x"), 42u);
    EXPECT_EQ(ParseByteCount(L""), 0u);
    EXPECT_EQ(ParseByteCount(L"abc"), 0u);
    EXPECT_EQ(ParseByteCount(L"-5"), 0u);
    EXPECT_EQ(ParseByteCount(L"2147483648"), 2147483648u);
    EXPECT_EQ(ParseByteCount(L"4294967296"), 4294967296u);
    EXPECT_EQ(ParseByteCount(L"99999999999999999999999"), UINT64_MAX);
    EXPECT_EQ(SingleProgressRange(0), 0u);
    EXPECT_EQ(SingleProgressRange(10000), 3u);
    EXPECT_EQ(SingleProgressRange(409600), 100u);
    EXPECT_EQ(SingleProgressRange(std::uint64_t{5} << 32), 100u);
    EXPECT_EQ(BlockCount64(std::uint64_t{1} << 32), std::uint64_t{1} << 20);
}

DownloadAttributes Base() { return Read({{L"PrimKey", L"1"}, {L"ViewName", L"V"}}); }

TEST(DialogValues, DefaultsAndTheEditModeStates) {
    DownloadAttributes a = Base();
    FileDownloadValues v = PrepareDialogValues(a, L"Plan.doc", L"store");
    EXPECT_EQ(v.header, L"Do you want to open or save this file?");
    EXPECT_EQ(v.footer, L"Enable upload of saved file. (Click 'Yes' when prompted for upload)");
    EXPECT_EQ(v.sizeText, L"0 Bytes");
    EXPECT_EQ(v.source, L"store");
    EXPECT_FALSE(v.editEnabled);
    EXPECT_FALSE(v.editChecked);

    a.HeaderText = L"H";
    a.FooterText = L"";
    a.FileSize = L"10000";
    v = PrepareDialogValues(a, L"Plan.doc", L"store");
    EXPECT_EQ(v.header, L"H");
    EXPECT_EQ(v.footer, L"");
    EXPECT_EQ(v.sizeText, L"9.77 KB");
    a.FileSize = L"5368709120";
    EXPECT_EQ(PrepareDialogValues(a, L"x", L"s").sizeText, L"5.00 GB");

    struct Row {
        const wchar_t *allow, *locked, *mine, *openInEdit;
        bool enabled, checked;
    } rows[] = {
        {L"true", L"false", L"false", L"", true, false},
        {L"TRUE", L"false", L"false", L"true", true, true},
        {L"true", L"true", L"true", L"", false, true},
        {L"true", L"true", L"false", L"", false, false},
        {L"true", L"true", L"false", L"true", false, true},
        {L"false", L"false", L"true", L"true", false, false},
    };
    for (const Row& r : rows) {
        a.AllowEdit = r.allow;
        a.IsLocked = r.locked;
        a.IsLockedByCurrentUser = r.mine;
        a.OpenFileInEditMode = r.openInEdit;
        v = PrepareDialogValues(a, L"x", L"s");
        EXPECT_EQ(v.editEnabled, r.enabled) << r.allow << r.locked << r.mine;
        EXPECT_EQ(v.editChecked, r.checked) << r.allow << r.locked << r.mine;
    }
}

TEST(ClickTable, EveryRow) {
    EXPECT_EQ(ActionForClick(L"prompt", L"true"), std::nullopt);
    EXPECT_EQ(ActionForClick(L"PROMPT", L"false"), std::nullopt);
    EXPECT_EQ(ActionForClick(L"open", L"true"), kActionOpenForEdit);
    EXPECT_EQ(ActionForClick(L"Open", L"false"), kActionOpen);
    EXPECT_EQ(ActionForClick(L"save", L"TRUE"), kActionSaveForEdit);
    EXPECT_EQ(ActionForClick(L"SAVE", L"no"), kActionSave);
    EXPECT_EQ(ActionForClick(L"edit", L"true"), kActionNone);
    EXPECT_EQ(ActionForClick(L"", L"false"), kActionNone);
}

TEST(FileDownloadDialogModel, ButtonsAndTheSaveState) {
    FileDownloadValues v;
    v.editEnabled = true;
    FileDownloadState s = InitialDialogState(v);
    EXPECT_TRUE(s.saveEnabled);
    EXPECT_TRUE(s.editEnabled);
    EXPECT_EQ(EndForButton(IDC_FD_OPEN, s), kActionOpen);
    EXPECT_EQ(EndForButton(IDC_FD_SAVE, s), kActionSave);
    EXPECT_EQ(EndForButton(IDC_FD_CANCEL, s), kActionDialogCancelled);
    EXPECT_EQ(EndForButton(IDC_FD_EDIT_MODE, s), std::nullopt);
    s = AfterEditClicked(s, true);
    EXPECT_FALSE(s.saveEnabled);
    EXPECT_EQ(EndForButton(IDC_FD_OPEN, s), kActionOpenForEdit);
    EXPECT_EQ(EndForButton(IDC_FD_SAVE, s), std::nullopt) << "a disabled Save ends nothing";
    s.saveEnabled = true;  // as if enabled again by another path
    EXPECT_EQ(EndForButton(IDC_FD_SAVE, s), kActionSaveForEdit);
    s = AfterEditClicked(s, false);
    EXPECT_TRUE(s.saveEnabled);

    v.editChecked = true;
    v.editEnabled = false;
    s = InitialDialogState(v);
    EXPECT_TRUE(s.editChecked);
    EXPECT_FALSE(s.editEnabled);
    EXPECT_FALSE(s.saveEnabled);
}

TEST(FileDownloadDialogModel, TypeLookupUsesTheTextAfterTheLastDot) {
    EXPECT_EQ(TypeLookupPattern(L"Plan.final.doc"), L"*.doc");
    EXPECT_EQ(TypeLookupPattern(L"README"), L"*.README");
    EXPECT_EQ(TypeLookupPattern(L"trailing."), L"*.");
    EXPECT_EQ(TypeAndSizeText(L"Microsoft Word Document", L"9.77 KB"), L"Microsoft Word Document, 9.77 KB");
}

TEST(CheckOutWarningTest, OnlyForOpenActionsOfFilesHeldBySomeoneElse) {
    DownloadAttributes a = Base();  // IsLocked absent counts as locked
    EXPECT_EQ(CheckOutWarning(a, L"Plan.doc", kActionOpen),
              L"Plan.doc is currently checked out by another user.\r\nAny changes will not be uploaded to the server."
              L"\r\n\r\nDo you want to open the file?");
    a.CheckedOutByUserName = L"Ann";
    EXPECT_EQ(CheckOutWarning(a, L"P", kActionOpenForEdit)->substr(0, 34), L"P is currently checked out by Ann\r");
    EXPECT_FALSE(CheckOutWarning(a, L"P", kActionSave));
    EXPECT_FALSE(CheckOutWarning(a, L"P", kActionSaveForEdit));
    EXPECT_FALSE(CheckOutWarning(a, L"P", kActionNone));
    a.IsLockedByCurrentUser = L"True";
    EXPECT_FALSE(CheckOutWarning(a, L"P", kActionOpen));
    a.IsLockedByCurrentUser = L"false";
    a.IsLocked = L"FALSE";
    EXPECT_FALSE(CheckOutWarning(a, L"P", kActionOpen));
}

TEST(LocalCopyRule, WholeSecondsDecide) {
    constexpr FileTime kSecond = 10'000'000;
    const FileTime server = 132'000'000'000'000'000 + 3'000'000;  // 0.3 s into a second
    EXPECT_EQ(DecideLocalCopy(server - kSecond, server), LocalCopyChoice::Download);
    EXPECT_EQ(DecideLocalCopy(server + 5'000'000, server), LocalCopyChoice::KeepLocal) << "same second";
    EXPECT_EQ(DecideLocalCopy(server - 3'000'000, server), LocalCopyChoice::KeepLocal) << "same second, earlier";
    EXPECT_EQ(DecideLocalCopy(server + kSecond, server), LocalCopyChoice::AskUser);
    EXPECT_EQ(DecideLocalCopy(std::nullopt, server), LocalCopyChoice::Download);
    EXPECT_EQ(DecideLocalCopy(server, std::nullopt), LocalCopyChoice::Download);
}

TEST(AfterDownloadArgumentsTest, VerbPerAction) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(AfterDownloadArguments(L"e", kActionSave, L"p"), (V{L"e", L"false", L"Save", L"p"}));
    EXPECT_EQ(AfterDownloadArguments(L"e", kActionOpen, L"p"), (V{L"e", L"true", L"Open", L"p"}));
    EXPECT_EQ(AfterDownloadArguments(L"e", kActionSaveForEdit, L"p"), (V{L"e", L"true", L"Open", L"p"}));
    EXPECT_EQ(AfterDownloadArguments(L"e", kActionOpenForEdit, L"p"), (V{L"e", L"true", L"Lock", L"p"}));
}

}  // namespace
}  // namespace qm
