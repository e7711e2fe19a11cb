#include "dragdrop/mail_drop.h"

#include <gtest/gtest.h>

#include "support/fake_mail_client.h"

namespace qm {
namespace {

using testing::FakeMail;
using testing::FakeMailClient;
using Files = std::vector<std::wstring>;

const std::wstring kFolder = L"C:\\Temp\\Quillmark Mail\\";

TEST(MailNameTest, TheNineCharactersBecomeSpaces) {
    EXPECT_EQ(MailNameOfSubject(L"Re: a/b <test>"), L"Re  a b  test");
    EXPECT_EQ(MailNameOfSubject(L"a:b\\c/d*e?f\"g>h<i|j"), L"a b c d e f g h i j");
}

TEST(MailNameTest, ControlCharactersTrailingDotsAndBlanksAndEmptySubjects) {
    EXPECT_EQ(MailNameOfSubject(L"tab\there\r\nnext"), L"tab here  next");
    EXPECT_EQ(MailNameOfSubject(L"Minutes... "), L"Minutes");
    EXPECT_EQ(MailNameOfSubject(L""), L"Untitled");
    EXPECT_EQ(MailNameOfSubject(L" . :?"), L"Untitled");
    EXPECT_EQ(MailNameOfSubject(L".hidden"), L".hidden");
}

TEST(MailNameTest, DeviceNamesAreChangedWhateverTheCaseOrExtension) {
    EXPECT_EQ(MailNameOfSubject(L"CON"), L"_CON");
    EXPECT_EQ(MailNameOfSubject(L"nul"), L"_nul");
    EXPECT_EQ(MailNameOfSubject(L"Com1"), L"_Com1");
    EXPECT_EQ(MailNameOfSubject(L"lpt9.report"), L"_lpt9.report") << "an ending after the dot leaves the device";
    EXPECT_EQ(MailNameOfSubject(L"AUX :"), L"_AUX");
    EXPECT_EQ(MailNameOfSubject(L"COM\u00B9"), L"_COM\u00B9");
    EXPECT_EQ(MailNameOfSubject(L"LPT\u00B2.txt"), L"_LPT\u00B2.txt");
    EXPECT_EQ(MailNameOfSubject(L"conin$"), L"_conin$");
    EXPECT_EQ(MailNameOfSubject(L"CONOUT$ .x"), L"_CONOUT$ .x");
    EXPECT_EQ(MailNameOfSubject(L"COM0"), L"COM0");
    EXPECT_EQ(MailNameOfSubject(L"CONSOLE"), L"CONSOLE");
    EXPECT_EQ(MailNameOfSubject(L"LPT10"), L"LPT10");
}

// The system ignores blanks before the dot too: "NUL .txt" would be the device, and the mail would be lost.
TEST(MailNameTest, BlanksBeforeTheDotStillNameTheDevice) {
    EXPECT_EQ(MailNameOfSubject(L"NUL .txt"), L"_NUL .txt");
    EXPECT_EQ(MailNameOfSubject(L"com3  .agenda"), L"_com3  .agenda");
    EXPECT_EQ(MailNameOfSubject(L"PRN x.txt"), L"PRN x.txt") << "a word after the blank makes another name";
}

TEST(MailFileNamesTest, SameSubjectsGetNumberedNamesWithoutRegardToCase) {
    MailFileNames names(kFolder);
    EXPECT_EQ(names.PathFor(L"Hello"), kFolder + L"Hello.msg");
    EXPECT_EQ(names.PathFor(L"hello"), kFolder + L"hello (2).msg");
    EXPECT_EQ(names.PathFor(L"Hello"), kFolder + L"Hello (3).msg");
    EXPECT_EQ(names.PathFor(L"Hello (2)"), kFolder + L"Hello (2) (2).msg");
    EXPECT_EQ(names.PathFor(L""), kFolder + L"Untitled.msg");
}

TEST(MailFileNamesTest, LongSubjectsAreCutSoThePathFitsAndCutsLoseTrailingDots) {
    MailFileNames names(kFolder);
    const std::wstring longSubject(400, L'x');
    const auto first = names.PathFor(longSubject);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size(), kMaxPathChars);
    EXPECT_EQ(first->substr(first->size() - 4), L".msg");
    const auto second = names.PathFor(longSubject);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->size(), kMaxPathChars);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(second->substr(second->size() - 8), L" (2).msg");

    MailFileNames dotted(kFolder);
    std::wstring subject(kMaxPathChars - kFolder.size() - 4 - 1, L'a');
    subject += L". tail";
    const auto cut = dotted.PathFor(subject);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(*cut, kFolder + std::wstring(subject.size() - 6, L'a') + L".msg");
}

TEST(MailFileNamesTest, AFolderThatLeavesNoRoomGivesNothing) {
    MailFileNames names(L"C:\\" + std::wstring(kMaxPathChars - 7, L'f') + L"\\");
    EXPECT_FALSE(names.PathFor(L"x").has_value());
}

// Room for the extension alone is no room: a file called ".msg" has no name.
TEST(MailFileNamesTest, AFolderThatLeavesRoomForOneCharacterGivesOneCharacterNames) {
    const std::wstring oneLeft = L"C:\\" + std::wstring(kMaxPathChars - 4 - 1 - 4, L'f') + L"\\";
    MailFileNames names(oneLeft);
    EXPECT_EQ(names.PathFor(L"Budget"), oneLeft + L"B.msg");
    EXPECT_EQ(names.PathFor(L""), oneLeft + L"U.msg");
    EXPECT_EQ(names.PathFor(L"Budget"), std::nullopt) << "no room for a number either";

    // A cut that leaves only dots and blanks takes as much of "Untitled" as fits.
    const std::wstring threeLeft = L"C:\\" + std::wstring(kMaxPathChars - 4 - 3 - 4, L'f') + L"\\";
    MailFileNames dots(threeLeft);
    EXPECT_EQ(dots.PathFor(L"... report"), threeLeft + L"Unt.msg");
    EXPECT_EQ(dots.PathFor(L". . later"), std::nullopt) << "the same name, and no room for a number";

    const std::wstring noneLeft = oneLeft.substr(0, 3) + L"f" + oneLeft.substr(3);
    MailFileNames full(noneLeft);
    EXPECT_EQ(full.PathFor(L"Budget"), std::nullopt);
    EXPECT_EQ(full.PathFor(L""), std::nullopt);
}

TEST(SaveSelectedMailTest, ThreeItemsTwoWithOneSubjectAllArriveInOrder) {
    FakeMailClient client;
    client.items = {{L"Re: a/b <test>"}, {L"Budget"}, {L"Re: a/b <test>"}};
    const auto result = SaveSelectedMail(client, kFolder);
    ASSERT_TRUE(result.has_value());
    const Files expected = {kFolder + L"Re  a b  test.msg", kFolder + L"Budget.msg",
                            kFolder + L"Re  a b  test (2).msg"};
    EXPECT_EQ(result->files, expected);
    EXPECT_EQ(client.saved, expected);
    EXPECT_EQ(result->leftOut, 0u);
}

TEST(SaveSelectedMailTest, NoSelectionRecordsNothing) {
    FakeMailClient client;
    client.hasSelection = false;
    EXPECT_FALSE(SaveSelectedMail(client, kFolder).has_value());
}

TEST(SaveSelectedMailTest, ItemsThatAreNotMailOrFailLeaveOnlyThemselvesOut) {
    FakeMailClient client;
    client.items = {{L"Contact", false}, {L"Broken", true, true}, {std::nullopt}, {L"Good"}};
    const auto result = SaveSelectedMail(client, kFolder);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->files, (Files{kFolder + L"Good.msg"}));
    EXPECT_EQ(result->leftOut, 3u);

    FakeMailClient allFail;
    allFail.items = {{L"x", true, true}};
    const auto none = SaveSelectedMail(allFail, kFolder);
    ASSERT_TRUE(none.has_value()) << "a selection whose items all fail still records an empty list";
    EXPECT_TRUE(none->files.empty());
}

TEST(SaveSelectedMailTest, TheCountIsReadAgainEveryRound) {
    FakeMailClient client;
    client.items = {{L"one"}};
    client.addedAfterFirstSave = {{L"two"}};
    const auto result = SaveSelectedMail(client, kFolder);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->files, (Files{kFolder + L"one.msg", kFolder + L"two.msg"}));
}

}  // namespace
}  // namespace qm
