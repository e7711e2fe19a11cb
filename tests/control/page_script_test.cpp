#include "control/page_script.h"

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "support/fake_page_scripts.h"

namespace qm {
namespace {

using testing::FakeFile;
using testing::FakeFileSystem;
using testing::FakePageScripts;
using Texts = std::vector<std::wstring>;

class ScriptRequestTest : public ::testing::Test {
protected:
    ScriptRequestTest() {
        FakeFile& f = fs.AddFile(L"C:\\up\\a.txt", 1234);
        f.times = {*CalendarToFileTime({2020, 1, 2, 3, 4, 5, 0}), *CalendarToFileTime({2021, 6, 7, 8, 9, 10, 0})};
        job.ElementId = L"job-element";
        job.BeforeUploadScript = L"before";
        job.Descriptor.FileName = L"a.txt";
        job.Descriptor.LocalPath = L"C:\\up\\a.txt";
        job.Descriptor.FileSize = 1234;
        job.Descriptor.ElementId = L"descriptor-element";
        job.Descriptor.FileRef = L"REF-9";
        job.Descriptor.PrimKey = L"01234567-89ab-cdef-0123-456789abcdef";
        job.Descriptor.AfterUploadScript = L"after";
    }

    FakeFileSystem fs;
    FakePageScripts page;
    TransferJob job;
};

TEST_F(ScriptRequestTest, TheKeyRequestPassesTheFileFactsAndTakesTheText) {
    page.answers = {ScriptValue::Text(L"01234567-89ab-cdef-0123-456789abcdef")};
    job.PendingRequest = kGetPrimKeyRequest;
    HandleScriptRequest(job, page, fs);
    ASSERT_EQ(page.calls.size(), 1u);
    EXPECT_EQ(page.calls[0].name, L"before");
    EXPECT_EQ(page.calls[0].arguments,
              (Texts{L"job-element", L"a.txt", L"C:\\up\\a.txt", L"1234", L"2020-1-2 3:4:5", L"2021-6-7 8:9:10"}));
    EXPECT_EQ(job.ScriptResult, L"01234567-89ab-cdef-0123-456789abcdef");
    EXPECT_EQ(job.CurrentPrimKey, L"01234567-89ab-cdef-0123-456789abcdef");
}

TEST_F(ScriptRequestTest, AFailedCallLeavesTheFileOutAndANonTextGivesAnEmptyKey) {
    page.answers = {std::nullopt, ScriptValue{ScriptValue::Kind::Other, L"", false}, ScriptValue::Boolean(true)};
    EXPECT_EQ(RunKeyRequest(job, page, fs), L"-1");
    EXPECT_EQ(RunKeyRequest(job, page, fs), L"");
    EXPECT_EQ(RunKeyRequest(job, page, fs), L"");
    EXPECT_EQ(page.calls.size(), 3u);
}

TEST_F(ScriptRequestTest, AFileInUseIsStillAskedForWithEmptyDates) {
    fs.AddFile(L"C:\\up\\a.txt", 1234).open = ExclusiveOpenResult::SharingViolation;
    page.answers = {ScriptValue::Text(L"k")};
    EXPECT_EQ(RunKeyRequest(job, page, fs), L"k");
    ASSERT_EQ(page.calls.size(), 1u);
    ASSERT_GE(page.calls[0].arguments.size(), 6u);
    EXPECT_EQ(page.calls[0].arguments[4], L"");
    EXPECT_EQ(page.calls[0].arguments[5], L"");
}

TEST_F(ScriptRequestTest, WithoutABeforeFunctionNothingIsCalledAndTheKeyStays) {
    job.BeforeUploadScript.clear();
    job.ScriptResult = L"";
    job.PendingRequest = kGetPrimKeyRequest;
    HandleScriptRequest(job, page, fs);
    EXPECT_TRUE(page.calls.empty());
    EXPECT_EQ(job.CurrentPrimKey, L"");
}

TEST_F(ScriptRequestTest, TheFileReportPassesEightArguments) {
    job.PendingRequest = kSaveFileInfoRequest;
    HandleScriptRequest(job, page, fs);
    ASSERT_EQ(page.calls.size(), 1u);
    EXPECT_EQ(page.calls[0].name, L"after");
    EXPECT_EQ(page.calls[0].arguments,
              (Texts{L"descriptor-element", L"REF-9", L"a.txt", L"1234", L"false", L"2020-1-2 3:4:5",
                     L"2021-6-7 8:9:10", L"01234567-89ab-cdef-0123-456789abcdef"}));
    job.Descriptor.IsUpdate = 1;
    EXPECT_TRUE(RunFileReport(job.Descriptor, page, fs));
    ASSERT_EQ(page.calls.size(), 2u);
    ASSERT_GE(page.calls[1].arguments.size(), 5u);
    EXPECT_EQ(page.calls[1].arguments[4], L"true");
    page.answers = {std::nullopt};
    EXPECT_FALSE(RunFileReport(job.Descriptor, page, fs));
}

TEST_F(ScriptRequestTest, AReportForAFileHeldByAnotherProgramCallsNothing) {
    fs.AddFile(L"C:\\up\\a.txt", 1234).open = ExclusiveOpenResult::SharingViolation;
    EXPECT_FALSE(RunFileReport(job.Descriptor, page, fs));
    EXPECT_TRUE(page.calls.empty());
}

TEST_F(ScriptRequestTest, AnUnknownRequestDoesNothing) {
    job.PendingRequest = L"getprimkey";
    job.CurrentPrimKey = L"before";
    HandleScriptRequest(job, page, fs);
    EXPECT_TRUE(page.calls.empty());
    EXPECT_EQ(job.CurrentPrimKey, L"before");
}

TEST(UploadArguments, OnceModeListsAndRecords) {
    EXPECT_EQ(OnceModeArguments(L"el", L"a|b"), (Texts{L"el", L"a|b"}));
    EXPECT_EQ(UploadResultRecord(L"key", L"ref", L"a.txt", 3000000000u, {L"2020-1-2 3:4:5", L"2021-6-7 8:9:10"}),
              L"key?ref?a.txt?3000000000?false?2020-1-2 3:4:5?2021-6-7 8:9:10");
    FileDescriptor file;
    file.FileName = L"n";
    file.LocalPath = L"p";
    file.FileSize = 0;
    EXPECT_EQ(KeyRequestArguments(L"el", file, {}), (Texts{L"el", L"n", L"p", L"0", L"", L""}));
}

}  // namespace
}  // namespace qm
