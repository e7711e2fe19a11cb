#include "download/win32/download_win32.h"

#include <gtest/gtest.h>
#include <shobjidl.h>

#include <cstdio>

#include "common/errors.h"
#include "common/win32/owners.h"

namespace qm {
namespace {

class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"qm-download-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(counter++);
        CreateDirectoryW(folder.c_str(), nullptr);
        target = folder + L"\\Plan.doc";
    }
    void TearDown() override {
        for (const std::wstring& name : Names()) DeleteFileW((folder + L"\\" + name).c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        const UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (!find) return names;
        do {
            if (wcscmp(data.cFileName, L".") && wcscmp(data.cFileName, L"..")) names.push_back(data.cFileName);
        } while (FindNextFileW(find.get(), &data));
        return names;
    }
    static void Put(const std::wstring& path, const std::string& bytes) {
        const UniqueFileHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    static std::string Get(const std::wstring& path) {
        const UniqueFileHandle f(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!f) return "<missing>";
        std::string bytes(1 << 16, '\0');
        DWORD read = 0;
        ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        bytes.resize(read);
        return bytes;
    }
    static inline int counter = 0;
    std::wstring folder, target;
    Win32IncomingFiles files;
};

TEST_F(ScratchFolder, TargetChangesOnlyAtCommit) {
    Put(target, "older copy");
    auto incoming = files.Begin(target, L"http://h:1/system/filestore/data.aspx");
    incoming->Write("new ", 4);
    incoming->Write("bytes", 5);
    EXPECT_EQ(Get(target), "older copy");
    EXPECT_EQ(Names().size(), 2u) << "the temporary file sits beside the target";
    incoming->Commit();
    EXPECT_EQ(Get(target), "new bytes");
    incoming.reset();
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"Plan.doc"});
}

TEST_F(ScratchFolder, DroppedWithoutCommitLeavesTheOlderCopyAndNoTemporaryFile) {
    Put(target, "older copy");
    {
        auto incoming = files.Begin(target, L"");
        incoming->Write("partial", 7);
    }
    EXPECT_EQ(Get(target), "older copy");
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"Plan.doc"});
}

TEST_F(ScratchFolder, ProgramEndingInTheMiddleOfADownloadLeavesNoPartialFile) {
    Put(target, "older copy");
    // The death test's child runs this test again, with a folder of its own: it is told the parent's, and
    // keeps it when it sets the variable in turn.
    wchar_t inherited[MAX_PATH] = L"";
    if (!GetEnvironmentVariableW(L"QM_ABANDONED_TARGET", inherited, MAX_PATH))
        SetEnvironmentVariableW(L"QM_ABANDONED_TARGET", target.c_str());
    EXPECT_EXIT(
        {
            wchar_t parentTarget[MAX_PATH] = L"";
            GetEnvironmentVariableW(L"QM_ABANDONED_TARGET", parentTarget, MAX_PATH);
            auto incoming = files.Begin(parentTarget, L"");
            incoming->Write("partial", 7);
            ExitProcess(3);  // as a browser that ends: no destructor runs, the system closes the handles
        },
        ::testing::ExitedWithCode(3), "");
    SetEnvironmentVariableW(L"QM_ABANDONED_TARGET", nullptr);
    EXPECT_EQ(Get(target), "older copy");
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"Plan.doc"});
}

TEST_F(ScratchFolder, TargetHeldOpenWithoutSharingRefusesTheCommitAndStays) {
    Put(target, "older copy");
    UniqueFileHandle held(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    {
        auto incoming = files.Begin(target, L"");
        incoming->Write("new", 3);
        EXPECT_THROW(incoming->Commit(), FileError);
    }
    held.reset();
    EXPECT_EQ(Get(target), "older copy");
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"Plan.doc"});
}

TEST_F(ScratchFolder, MissingFolderGivesTheSystemsMessage) {
    try {
        files.Begin(folder + L"\\no such folder\\x.doc", L"");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_NE(e.text().find(L"x.doc"), std::wstring::npos);
        EXPECT_GT(e.text().size(), 8u);
    }
}

TEST_F(ScratchFolder, NewTargetArrivesAndExistsReportsIt) {
    EXPECT_FALSE(files.Exists(target));
    auto incoming = files.Begin(target, L"");
    incoming->Commit();
    EXPECT_TRUE(files.Exists(target));
    EXPECT_EQ(Get(target), "");
    EXPECT_FALSE(files.ShortPath(target).empty());
    EXPECT_EQ(files.ShortPath(folder + L"\\missing.doc"), folder + L"\\missing.doc");
}

// Stands in for the shell's attachment services in this process, so the marking a user's system would do is seen.
class RecordingAttachmentServices : public IAttachmentExecute, public IClassFactory {
public:
    std::wstring localPath, source;
    int saves = 0;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IAttachmentExecute) {
            *out = static_cast<IAttachmentExecute*>(this);
        } else if (riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(riid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    STDMETHODIMP SetClientTitle(LPCWSTR) override { return S_OK; }
    STDMETHODIMP SetClientGuid(REFGUID) override { return S_OK; }
    STDMETHODIMP SetLocalPath(LPCWSTR path) override {
        localPath = path;
        return S_OK;
    }
    STDMETHODIMP SetFileName(LPCWSTR) override { return S_OK; }
    STDMETHODIMP SetSource(LPCWSTR text) override {
        source = text;
        return S_OK;
    }
    STDMETHODIMP SetReferrer(LPCWSTR) override { return S_OK; }
    STDMETHODIMP CheckPolicy() override { return S_OK; }
    STDMETHODIMP Prompt(HWND, ATTACHMENT_PROMPT, ATTACHMENT_ACTION*) override { return E_NOTIMPL; }
    STDMETHODIMP Save() override {
        ++saves;
        return S_OK;
    }
    STDMETHODIMP Execute(HWND, LPCWSTR, HANDLE*) override { return E_NOTIMPL; }
    STDMETHODIMP SaveWithUI(HWND) override { return E_NOTIMPL; }
    STDMETHODIMP ClearClientState() override { return S_OK; }
};

TEST_F(ScratchFolder, ArrivedFileIsMarkedAsFromTheInternetUnderItsFinalName) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    RecordingAttachmentServices services;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_AttachmentServices, static_cast<IClassFactory*>(&services),
                                    CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        auto dropped = files.Begin(folder + L"\\Dropped.doc", L"http://h:1/system/filestore/data.aspx");
        dropped->Write("partial", 7);
    }
    EXPECT_EQ(services.saves, 0) << "nothing is marked before it arrived whole";
    auto incoming = files.Begin(target, L"http://h:1/system/filestore/data.aspx");
    incoming->Write("bytes", 5);
    incoming->Commit();
    CoRevokeClassObject(cookie);
    EXPECT_EQ(services.saves, 1);
    EXPECT_EQ(services.localPath, target) << "the final name, not the temporary file";
    EXPECT_EQ(services.source, L"http://h:1/system/filestore/data.aspx");

    // Where the platform has no attachment services, the file still arrives.
    IAttachmentExecute* probe = nullptr;
    const bool platformHasThem = SUCCEEDED(CoCreateInstance(CLSID_AttachmentServices, nullptr, CLSCTX_INPROC_SERVER,
                                                            IID_IAttachmentExecute, reinterpret_cast<void**>(&probe)));
    if (probe) probe->Release();
    std::printf("attachment services of this platform: %s\n", platformHasThem ? "present" : "absent");
    const std::wstring second = folder + L"\\Second.doc";
    auto plain = files.Begin(second, L"http://h:1/system/filestore/data.aspx");
    plain->Write("more", 4);
    EXPECT_NO_THROW(plain->Commit()) << "attachment services present: " << platformHasThem;
    EXPECT_EQ(Get(second), "more");
    EXPECT_EQ(services.saves, 1) << "the revoked stand-in is not used again";
    CoUninitialize();
}

TEST(DownloadShellTest, ProgramsScriptsAndShortcutsAreDangerousDocumentsAreNot) {
    Win32DownloadShell shell;
    for (const wchar_t* path : {L"C:\\x\\setup.exe", L"C:\\x\\run.JS", L"C:\\x\\link.lnk", L"C:\\x\\pkg.msi",
                                L"C:\\x\\a.bat", L"C:\\x\\page.hta"})
        EXPECT_TRUE(shell.IsDangerous(path)) << std::string(path, path + wcslen(path));
    for (const wchar_t* path : {L"C:\\x\\Plan.doc", L"C:\\x\\notes.txt", L"C:\\x\\sheet.xlsx", L"C:\\x\\README"})
        EXPECT_FALSE(shell.IsDangerous(path)) << std::string(path, path + wcslen(path));
}

}  // namespace
}  // namespace qm
