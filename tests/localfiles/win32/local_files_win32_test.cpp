#include "localfiles/win32/local_files_win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/win32/owners.h"
#include "localfiles/file_helpers.h"
#include "localfiles/settings.h"

namespace qm {
namespace {

// A fresh folder under the temporary path for each test, removed afterwards.
class LocalFilesWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs_.TempPath() + L"qm-localfiles-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(root_); }

    std::wstring Path(const std::wstring& name) const { return root_ + L"\\" + name; }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = Path(name);
        const UniqueFileHandle h(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(h);
        DWORD written = 0;
        WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return path;
    }
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW data;
        if (const UniqueFindHandle find{FindFirstFileW((folder + L"\\*").c_str(), &data)}) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = folder + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileW(child.c_str());
            } while (FindNextFileW(find.get(), &data));
        }
        RemoveDirectoryW(folder.c_str());
    }

    Win32FileSystem fs_;
    std::wstring root_;
};

// Holds a file open with the given sharing for the test's duration.
class HeldOpen {
public:
    HeldOpen(const std::wstring& path, DWORD access, DWORD share)
        : h_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool ok() const { return static_cast<bool>(h_); }

private:
    UniqueFileHandle h_;
};

TEST_F(LocalFilesWin32, AFreeFileIsDescribedWithItsCrc) {
    const std::wstring path = Write(L"digits.txt", "123456789");
    EXPECT_TRUE(FileExists(fs_, path));
    EXPECT_FALSE(IsFileInUse(fs_, path));
    auto facts = DescribeFile(fs_, path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileName, L"digits.txt");
    EXPECT_EQ(facts->localPath, path);
    EXPECT_EQ(facts->fileSize, 9u);
    EXPECT_EQ(facts->blockCount, 1u);
    EXPECT_EQ(facts->fileCrc, 0xCBF43926u);
    EXPECT_TRUE(FileDatesText(fs_, path));
}

TEST_F(LocalFilesWin32, AFileKeepsItsIdentityUnderAnySpellingAndAFileInItsPlaceHasAnother) {
    const std::wstring path = Write(L"Plan.doc", "first");
    const auto first = fs_.IdentityOf(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(fs_.IdentityOf(root_ + L"\\.\\PLAN.DOC"), first);
    {
        // Held open by the program editing it, the file can still be told.
        HeldOpen editor(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(editor.ok());
        EXPECT_EQ(fs_.IdentityOf(path), first);
    }
    Write(L"Plan.doc", "rewritten in place");
    EXPECT_EQ(fs_.IdentityOf(path), first) << "written over, it is the same file";

    // Saved the way editors save: a new file renamed over the old one.
    const std::wstring saved = Write(L"~Plan.tmp", "saved by the user");
    const auto other = fs_.IdentityOf(saved);
    ASSERT_TRUE(other);
    EXPECT_NE(other, first);
    ASSERT_TRUE(MoveFileExW(saved.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(fs_.IdentityOf(path), other);
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_FALSE(fs_.IdentityOf(path));
    EXPECT_TRUE(fs_.IdentityOf(root_)) << "a folder has one too";
}

TEST_F(LocalFilesWin32, TheJournalIsReplacedWholeAndReadBackInAnyLanguage) {
    AppDataJournalFile journal(Path(L"sub\\edited-copies.txt"));
    EXPECT_FALSE(journal.Read()) << "no journal yet";
    const std::wstring text = L"Quillmark \u041e\u0442\u0447\u0451\u0442 \u6771\u4eac \U0001F600\n";
    ASSERT_TRUE(journal.Replace(text));
    EXPECT_EQ(journal.Read(), text);
    ASSERT_TRUE(journal.Replace(L"shorter\n"));
    EXPECT_EQ(journal.Read(), std::wstring(L"shorter\n"));
    EXPECT_EQ(GetFileAttributesW(Path(L"sub\\edited-copies.txt.new").c_str()), INVALID_FILE_ATTRIBUTES);
    // A journal another process is reading can still be read.
    {
        HeldOpen reader(journal.Path(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
        ASSERT_TRUE(reader.ok());
        EXPECT_EQ(journal.Read(), std::wstring(L"shorter\n"));
    }
    Write(L"sub\\edited-copies.txt", "\xff\xfe not UTF-8");
    EXPECT_FALSE(journal.Read());
    EXPECT_TRUE(AppDataJournalFile().Path().find(L"\\Quillmark\\edited-copies.txt") != std::wstring::npos);
}

// Names in scripts the Western code page lacks, in a folder named the same way: every question is asked of the
// wide path, so the file is found, measured, read, timed and held like any other.
class LocalFilesWin32Names : public LocalFilesWin32, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(LocalFilesWin32Names, AFileOfAnyNameInAFolderOfAnyNameIsFoundMeasuredAndRead) {
    const std::wstring folder = root_ + L"\\\u041f\u0440\u043e\u0435\u043a\u0442 \u6771\u4eac";
    ASSERT_TRUE(fs_.CreateFolder(folder));
    EXPECT_TRUE(fs_.IsFolder(folder));
    const std::wstring name = GetParam();
    const std::wstring path = folder + L"\\" + name;
    {
        const UniqueFileHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(h);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h.get(), "123456789", 9, &written, nullptr));
    }
    EXPECT_TRUE(FileExists(fs_, path));
    EXPECT_EQ(fs_.QueryPath(path), PathQuery::Exists);
    auto facts = DescribeFile(fs_, path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileName, name) << "the real name, not a code-page form of it";
    EXPECT_EQ(facts->fileSize, 9u);
    EXPECT_EQ(facts->fileCrc, 0xCBF43926u) << "the contents were read";
    EXPECT_EQ(TotalSize(fs_, {path}), 9u);
    EXPECT_EQ(BuildFileListText(fs_, {path}).substr(0, name.size() + path.size() + 4), name + L"?" + path + L"?9?");

    const FileTime written = *CalendarToFileTime({2011, 12, 13, 14, 15, 16, 0});
    SetFileTimes(fs_, path, written, written);
    EXPECT_EQ(GetLastWriteTime(fs_, path), written);
    EXPECT_TRUE(fs_.IdentityOf(path));

    HeldOpen holder(path, GENERIC_READ, 0);
    ASSERT_TRUE(holder.ok());
    EXPECT_TRUE(IsFileInUse(fs_, path));
    EXPECT_FALSE(FileDatesText(fs_, path));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, LocalFilesWin32Names,
    ::testing::Values(L"\u041e\u0442\u0447\u0451\u0442 \u6771\u4eac \u00fc.txt",        // Cyrillic, CJK, Latin-1
                      L"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.doc",            // Greek
                      L"\u062a\u0642\u0631\u064a\u0631 \u0633\u0646\u0648\u064a.pdf",      // Arabic
                      L"\u6771\u4eac\u90fd\u5e81 \u5831\u544a\u66f8.xlsx",                  // CJK only
                      L"clef \U0001D11E and \U0001F600.txt",                             // beyond U+FFFF
                      L"Cafe\u0301 n\u0303 \u1EC7\u0323.txt"));                           // combining marks

TEST_F(LocalFilesWin32, AFileInAFolderDeeperThanTheOldPathLimitIsFoundMeasuredAndRead) {
    std::wstring folder = root_;
    while (folder.size() < 300) {
        folder += L"\\" + std::wstring(40, L'f');
        ASSERT_TRUE(fs_.CreateFolder(folder) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    const std::wstring path = folder + L"\\digits.txt";
    {
        const UniqueFileHandle file(CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        WriteFile(file.get(), "123456789", 9, &written, nullptr);
    }
    EXPECT_TRUE(FileExists(fs_, path));
    const auto facts = DescribeFile(fs_, path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileSize, 9u);
    EXPECT_EQ(facts->fileCrc, 0xCBF43926u);
    EXPECT_TRUE(fs_.IdentityOf(path));
    EXPECT_TRUE(fs_.IsFolder(folder));
    ASSERT_TRUE(fs_.CopyNoReplace(path, folder + L"\\copy.txt"));
    // The deep tree goes with the test's folder; the plain form may not reach it.
    for (const std::wstring& name : {path, folder + L"\\copy.txt"}) DeleteFileW((L"\\\\?\\" + name).c_str());
    while (folder.size() > root_.size()) {
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
        folder.resize(folder.rfind(L'\\'));
    }
}

TEST_F(LocalFilesWin32, AFileHeldWithoutSharingIsInUse) {
    const std::wstring path = Write(L"locked.txt", "123456789");
    HeldOpen holder(path, GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(holder.ok());
    EXPECT_TRUE(IsFileInUse(fs_, path));
    EXPECT_FALSE(FileDatesText(fs_, path));
    auto facts = DescribeFile(fs_, path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileCrc, 0u);
    EXPECT_EQ(facts->fileSize, 9u);
}

TEST_F(LocalFilesWin32, AFileHeldWithSharedReadingIsStillInUse) {
    const std::wstring path = Write(L"shared.txt", "123456789");
    HeldOpen holder(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(holder.ok());
    EXPECT_TRUE(IsFileInUse(fs_, path));
    EXPECT_FALSE(FileDatesText(fs_, path));
    auto facts = DescribeFile(fs_, path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileCrc, 0u);
    // Its times can still be read: that open allows others to read.
    EXPECT_TRUE(GetLastWriteTime(fs_, path));
}

TEST_F(LocalFilesWin32, AMissingFileIsNeitherInUseNorDescribed) {
    const std::wstring path = Path(L"missing.txt");
    EXPECT_FALSE(FileExists(fs_, path));
    EXPECT_FALSE(IsFileInUse(fs_, path));
    EXPECT_FALSE(DescribeFile(fs_, path));
    EXPECT_FALSE(GetCreationTime(fs_, path));
    EXPECT_FALSE(GetLastWriteTime(fs_, path));
    SetFileTimes(fs_, path, 1, 2);  // silent
    EXPECT_FALSE(FileExists(fs_, path));
}

TEST_F(LocalFilesWin32, TimesAreSetAndReadBack) {
    const std::wstring path = Write(L"times.txt", "x");
    const FileTime created = *CalendarToFileTime({2001, 2, 3, 4, 5, 6, 0});
    const FileTime written = *CalendarToFileTime({2011, 12, 13, 14, 15, 16, 0});
    SetFileTimes(fs_, path, created, written);
    EXPECT_EQ(GetLastWriteTime(fs_, path), written);
    auto dates = FileDatesText(fs_, path);
    ASSERT_TRUE(dates);
    EXPECT_EQ(dates->modified, L"2011-12-13 14:15:16");

    // Wine on a Unix file system keeps no settable creation time; there the read must agree with the system's.
    FILETIME systemCreated;
    {
        const UniqueFileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(h);
        ASSERT_TRUE(GetFileTime(h.get(), &systemCreated, nullptr, nullptr));
    }
    const FileTime kept = (FileTime{systemCreated.dwHighDateTime} << 32) | systemCreated.dwLowDateTime;
    EXPECT_EQ(GetCreationTime(fs_, path), kept);
    if (kept == created)
        EXPECT_EQ(dates->created, L"2001-2-3 4:5:6");
    else
        std::printf("note: this file system did not keep the creation time that was set\n");

    // Setting needs an unshared open: with the file held, the times stay as they are.
    HeldOpen holder(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.ok());
    SetFileTimes(fs_, path, written, created);
    EXPECT_EQ(GetLastWriteTime(fs_, path), written);
}

TEST_F(LocalFilesWin32, WildcardsFindAnEntryAndSizesAddUp) {
    Write(L"a.log", "12345");
    Write(L"b.txt", "123");
    auto facts = DescribeFile(fs_, Path(L"*.log"));
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileName, L"a.log");
    EXPECT_EQ(facts->fileSize, 5u);
    EXPECT_FALSE(FileExists(fs_, Path(L"*.doc")));
    EXPECT_EQ(TotalSize(fs_, {Path(L"a.log"), Path(L"none"), Path(L"b.txt")}), 8u);
    EXPECT_EQ(SumListedSizes(fs_, Path(L"a.log") + L"?k|" + Path(L"b.txt") + L"?-1"), 5u);
}

TEST_F(LocalFilesWin32, FolderTestsLeaveTheCurrentDirectoryAlone) {
    wchar_t before[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    EXPECT_TRUE(FolderExists(fs_, root_));
    EXPECT_FALSE(FolderExists(fs_, Path(L"none")));
    EXPECT_FALSE(FolderExists(fs_, Write(L"file.txt", "x")));  // a file is no folder
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(before, after);
}

TEST_F(LocalFilesWin32, FolderChainsAndRecordFoldersAreCreated) {
    const std::wstring deep = Path(L"one\\two\\three");
    EXPECT_TRUE(EnsureFolderChain(fs_, deep + L"\\"));
    EXPECT_TRUE(FolderExists(fs_, deep));
    Write(L"blocker", "x");
    EXPECT_FALSE(EnsureFolderChain(fs_, Path(L"blocker\\sub")));

    const std::wstring key = L"qm-record-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring record = RecordTempFolder(fs_, key);
    EXPECT_EQ(record, fs_.TempPath() + key);
    EXPECT_TRUE(FolderExists(fs_, record));
    EXPECT_EQ(RecordTempFolder(fs_, key), record);
    RemoveDirectoryW(record.c_str());
}

TEST(SystemTextWin32, ErrorTextsComeFromTheSystemTable) {
    Win32SystemText text;
    const std::wstring notFound = SystemErrorText(text, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(notFound.empty());
    EXPECT_NE(notFound, L"Unknown error.");
    EXPECT_EQ(SystemErrorText(text, 0x2FFFFFFF), L"Unknown error.");
}

TEST(SystemTextWin32, ALocaleDateTextGivesItsFieldsAsUtc) {
    Win32SystemText text;
    SYSTEMTIME st = {};
    st.wYear = 2019;
    st.wMonth = 11;
    st.wDay = 23;
    st.wHour = 17;
    st.wMinute = 8;
    st.wSecond = 9;
    // The text the user's locale writes for that moment, as a server formatting for this user would.
    wchar_t date[128], time[128];
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128), 0);
    ASSERT_GT(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 128), 0);
    const std::wstring stamp = std::wstring(date) + L" " + time;
    EXPECT_EQ(ParseServerDate(text, stamp), CalendarToFileTime({2019, 11, 23, 17, 8, 9, 0})) << stamp;

    EXPECT_FALSE(ParseServerDate(text, L"not a date"));
    EXPECT_FALSE(ParseServerDate(text, L""));
}

TEST(SystemTextWin32, AnEnglishDateTextParsesInTheUnitedStatesLocale) {
    if (PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) != LANG_ENGLISH ||
        SUBLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) != SUBLANG_ENGLISH_US)
        GTEST_SKIP() << "user locale is not en-US";
    Win32SystemText text;
    EXPECT_EQ(ParseServerDate(text, L"3/7/2009 4:05:06 PM"), CalendarToFileTime({2009, 3, 7, 16, 5, 6, 0}));
}

class RegistrySettingsWin32 : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

    const std::wstring key_ = L"Software\\Velmar\\QuillmarkTest" + std::to_wstring(GetCurrentProcessId());
};

TEST_F(RegistrySettingsWin32, TheFirstWriteCreatesTheKeyAndATerminatedValue) {
    RegistrySettingsStore store(key_);
    EXPECT_EQ(store.ReadSetting(kOpenFileLocation), L"");
    EXPECT_EQ(store.ReadSetting(kSaveFileLocation), L"");
    store.WriteSetting(L"C:\\Files", kSaveFileLocation);
    EXPECT_EQ(store.ReadSetting(kSaveFileLocation), L"C:\\Files");
    EXPECT_EQ(store.ReadSetting(kOpenFileLocation), L"");

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, kSaveFileLocation, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (8u + 1u) * 2u);

    store.WriteSetting(L"", kSaveFileLocation);
    EXPECT_EQ(store.ReadSetting(kSaveFileLocation), L"");
}

TEST_F(RegistrySettingsWin32, AValueWithoutTerminatorOrOfAnotherTypeIsReadAsText) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t raw[] = L"abcXYZ";
    RegSetValueExW(key, L"Bare", 0, REG_BINARY, reinterpret_cast<const BYTE*>(raw), 3 * sizeof(wchar_t) + 1);
    RegSetValueExW(key, L"Cut", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab\0cd"), 6 * sizeof(wchar_t));
    RegCloseKey(key);
    RegistrySettingsStore store(key_);
    EXPECT_EQ(store.ReadSetting(L"Bare"), L"abc");
    EXPECT_EQ(store.ReadSetting(L"Cut"), L"ab");
}

TEST(RegistrySettingsRealKey, TheProductKeyHoldsBothSettings) {
    RegistrySettingsStore store;
    const std::wstring keep = store.ReadSetting(kOpenFileLocation);
    store.WriteSetting(L"C:\\Picked\\Here", kOpenFileLocation);
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, L"Software\\Velmar\\Quillmark", L"OpenFileLocation"),
              L"C:\\Picked\\Here");
    EXPECT_EQ(store.ReadSetting(kOpenFileLocation), L"C:\\Picked\\Here");
    store.WriteSetting(keep, kOpenFileLocation);
}

TEST(RegistrySettingsRealKey, TheDocumentsFolderIsKnown) {
    RegistrySettingsStore store;
    const std::wstring folder = store.PersonalFolder();
    ASSERT_FALSE(folder.empty());
    Win32FileSystem fs;
    EXPECT_TRUE(FolderExists(fs, folder)) << std::string(folder.begin(), folder.end());
}

TEST(EnvironmentText, ReferencesAreExpanded) {
    SetEnvironmentVariableW(L"QM_DL_TEST", L"C:\\Expanded");
    EXPECT_EQ(ExpandEnvironmentText(L"%QM_DL_TEST%\\Docs "), L"C:\\Expanded\\Docs ");
    EXPECT_EQ(ExpandEnvironmentText(L"plain"), L"plain");
}

}  // namespace
}  // namespace qm
