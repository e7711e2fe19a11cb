// Against the reference file-store server, whose address QM_FILESTORE_URL gives (http://HOST:PORT).
#include "protocol/win32/wininet_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <vector>

#include "common/crc32.h"
#include "protocol/file_store_client.h"
#include "protocol/reply_rules.h"
#include "protocol/wire_text.h"
#include "protocol/win32/ansi_code_page.h"
#include "protocol/win32/msxml_document.h"

namespace qm {
namespace {

constexpr wchar_t kView[] = L"Documents";
constexpr wchar_t kKey[] = L"01234567-89ab-cdef-0123-456789abcdef";

struct Reply {
    DWORD status = 0;
    std::string body;
    std::wstring Header(const wchar_t* name) const {
        for (const auto& [n, v] : headers)
            if (n == name) return v;
        return {};
    }
    std::vector<std::pair<std::wstring, std::wstring>> headers;
};

// Talks to the server's inspection interface with plain WinInet calls of its own.
class FileStore {
public:
    FileStore() {
        const char* url = std::getenv("QM_FILESTORE_URL");
        if (!url || !*url) return;
        std::wstring wide(url, url + std::strlen(url));
        wchar_t host[256] = {};
        URL_COMPONENTSW parts{};
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = host;
        parts.dwHostNameLength = 256;
        if (!InternetCrackUrlW(wide.c_str(), 0, 0, &parts)) return;
        host_ = host;
        port_ = parts.nPort;
    }
    bool Known() const { return port_ != 0; }
    const std::wstring& host() const { return host_; }
    std::uint16_t port() const { return port_; }

    Reply Call(const wchar_t* verb, const std::wstring& target, const std::string& body = {}) {
        UniqueHinternet session(InternetOpenW(L"filestore-inspection", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        UniqueHinternet connection(InternetConnectW(session.get(), host_.c_str(), port_, nullptr, nullptr,
                                                    INTERNET_SERVICE_HTTP, 0, 0));
        UniqueHinternet request(HttpOpenRequestW(connection.get(), verb, target.c_str(), nullptr, nullptr, nullptr,
                                                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
        EXPECT_TRUE(request) << GetLastError();
        Reply reply;
        if (!request) return reply;
        // The store takes a control action only as a POST with this header, which a web page cannot send it.
        const bool control = std::wcscmp(verb, L"POST") == 0;
        const wchar_t* headers = control ? L"X-Filestore-Control: 1\r\n" : nullptr;
        if (!HttpSendRequestW(request.get(), headers, control ? static_cast<DWORD>(-1) : 0,
                              const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
            ADD_FAILURE() << "inspection request failed: " << GetLastError();
            return reply;
        }
        DWORD size = sizeof reply.status, index = 0;
        HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &reply.status, &size, &index);
        for (const wchar_t* name : {L"X-Filestore-Body-Length", L"X-Filestore-Body-Crc"}) {
            wchar_t value[128] = {};
            wcscpy(value, name);
            DWORD length = sizeof value;
            index = 0;
            if (HttpQueryInfoW(request.get(), HTTP_QUERY_CUSTOM, value, &length, &index))
                reply.headers.emplace_back(name, std::wstring(value, length / sizeof(wchar_t)));
        }
        char buffer[8192];
        DWORD got = 0;
        while (InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got > 0) reply.body.append(buffer, got);
        return reply;
    }

    void Reset() { EXPECT_EQ(Call(L"POST", L"/_filestore/reset").status, 200u); }
    void Seed(const std::string& manifest) { EXPECT_EQ(Call(L"POST", L"/_filestore/seed", manifest).status, 200u); }
    void Fault(const std::wstring& query) { EXPECT_EQ(Call(L"POST", L"/_filestore/fault?" + query).status, 200u) << std::string(query.begin(), query.end()); }
    Reply LastRequest() { return Call(L"GET", L"/_filestore/request?back=1"); }

private:
    std::wstring host_;
    std::uint16_t port_ = 0;
};

std::vector<std::string> HeadLines(const std::string& head) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = head.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(head.substr(start, end - start));
    return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!store_.Known()) GTEST_SKIP() << "QM_FILESTORE_URL is not set";
        store_.Reset();
        store_.Seed("[record]\nview = Documents\nkey = 01234567-89ab-cdef-0123-456789abcdef\nname = report.txt\n"
                    "content = 123456789\n");
        session_ = OpenSession();
        connection_ = session_->Connect(store_.host(), store_.port());
    }

    std::unique_ptr<HttpRequest> NewRequest() { return connection_->OpenFileStoreRequest(kRequestFlagsHttp); }

    // A GetFile as the download worker sends it; the reply is left on the request.
    std::unique_ptr<HttpRequest> GetFile(const std::wstring& view, const std::wstring& key, std::wstring* text = nullptr) {
        auto document = CreateProtocolDocument();
        const std::wstring requestText = document->BuildGetFileRequest(view, key);
        if (text) *text = requestText;
        auto request = NewRequest();
        RetryRequest([&] { SendGetFile(*request, requestText); });
        return request;
    }

    static std::string ReadAll(HttpRequest& request) {
        std::string bytes;
        char buffer[4095];
        for (std::size_t got; (got = request.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, got);
        return bytes;
    }

    ReplyDecision GetFileTextDecision(const std::wstring& key = kKey, std::wstring* replyText = nullptr) {
        auto request = GetFile(kView, key);
        EXPECT_EQ(ClassifyReply(*request), ReplyKind::Text);
        const std::wstring text = ReadReplyText(*request, SystemAnsiCodePage());
        if (replyText) *replyText = text;
        auto document = CreateProtocolDocument();
        return DecideReply(kGetFileReplyRules, *document, text);
    }

    std::wstring WriteLocalFile(const std::wstring& name, const std::string& bytes) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        const std::wstring path = std::wstring(folder) + name;
        std::ofstream(path.c_str(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        created_.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const auto& path : created_) DeleteFileW(path.c_str());
    }

    struct Posted {
        ReplyDecision decision;
        std::wstring text;
    };
    Posted PostFile(const std::wstring& name, const std::string& bytes, const std::wstring& key = kKey) {
        const std::wstring path = WriteLocalFile(name, bytes);
        UploadHeaderFields fields{name, key, kView, L"", static_cast<std::uint32_t>(bytes.size()), Crc32OfFile(path)};
        auto document = CreateProtocolDocument();
        const std::wstring header = document->BuildUploadHeader(fields);
        auto request = NewRequest();
        ExclusiveFileSource files;
        PostObserver observer;
        EXPECT_EQ(RetryRequest([&] { return SendFilePost(*request, files, header, path, fields.FileSize, observer); }),
                  PostResult::Sent);
        Posted posted;
        posted.text = ReadReplyText(*request, SystemAnsiCodePage(), true);
        posted.decision = DecideReply(kFilePostReplyRules, *document, posted.text);
        return posted;
    }

    FileStore store_;
    std::unique_ptr<HttpSession> session_;
    std::unique_ptr<HttpConnection> connection_;
    std::vector<std::wstring> created_;
};

TEST_F(FileStoreTest, GetFileOnTheWire) {
    std::wstring requestText;
    auto request = GetFile(kView, kKey, &requestText);
    ASSERT_EQ(ClassifyReply(*request), ReplyKind::FileData);
    EXPECT_EQ(ReadAll(*request), "123456789");

    const std::string body = EncodeGetFileBody(requestText);
    const Reply last = store_.LastRequest();
    const auto lines = HeadLines(last.body);
    ASSERT_FALSE(lines.empty()) << last.body;
    EXPECT_EQ(lines[0], "POST /system/filestore/data.aspx HTTP/1.1");
    EXPECT_TRUE(HasLine(lines, "User-Agent: Quillmark 2.1.0.1")) << last.body;
    EXPECT_TRUE(HasLine(lines, "Content-Type: text/xml")) << last.body;
    EXPECT_TRUE(HasLine(lines, "Content-Length: " + std::to_string(body.size()))) << last.body;
    EXPECT_EQ(last.Header(L"X-Filestore-Body-Length"), std::to_wstring(body.size()));
    EXPECT_EQ(last.Header(L"X-Filestore-Body-Crc"), std::to_wstring(Crc32Bytes(body.data(), body.size())));
    EXPECT_EQ(last.body.substr(last.body.size() - 4), "\r\n\r\n");
}

TEST_F(FileStoreTest, FilePostOnTheWire) {
    const Posted posted = PostFile(L"report.txt", "123456789", L"11111111-2222-3333-4444-555555555555");
    EXPECT_TRUE(posted.decision.stored) << std::string(posted.text.begin(), posted.text.end());
    EXPECT_EQ(posted.decision.fileRef.size(), 36u);

    const Reply last = store_.LastRequest();
    const auto lines = HeadLines(last.body);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "POST /system/filestore/data.aspx HTTP/1.1");
    EXPECT_TRUE(HasLine(lines, "User-Agent: Quillmark 2.1.0.1")) << last.body;
    EXPECT_TRUE(HasLine(lines, "Content-Type: velmar/postedfile")) << last.body;
    // WinInet moves the blank from before the colon to after it.
    EXPECT_TRUE(HasLine(lines, "vm_PrimKey: 11111111-2222-3333-4444-555555555555")) << last.body;
    EXPECT_TRUE(HasLine(lines, "vm_ViewName: Documents")) << last.body;
    EXPECT_TRUE(HasLine(lines, "vm_FileName: cmVwb3J0LnR4dA==")) << last.body;
    EXPECT_TRUE(HasLine(lines, "vm_FileSize: 9")) << last.body;
    EXPECT_TRUE(HasLine(lines, "vm_FileCRC: -873187034")) << last.body;
    EXPECT_TRUE(HasLine(lines, "Content-Length: 9")) << last.body;
    EXPECT_EQ(last.Header(L"X-Filestore-Body-Crc"), L"3421780262");

    const Reply record = store_.Call(L"GET", L"/_filestore/record?view=Documents&key=11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(record.status, 200u);
    EXPECT_NE(record.body.find("\"name\":\"report.txt\""), std::string::npos) << record.body;
    EXPECT_NE(record.body.find("\"file_ref\":\"" + std::string(posted.decision.fileRef.begin(), posted.decision.fileRef.end()) + "\""),
              std::string::npos) << record.body;
}

TEST_F(FileStoreTest, EmptyFileIsPostedWithoutBody) {
    const Posted posted = PostFile(L"empty.txt", "");
    EXPECT_TRUE(posted.decision.stored) << std::string(posted.text.begin(), posted.text.end());
    const auto lines = HeadLines(store_.LastRequest().body);
    EXPECT_TRUE(HasLine(lines, "vm_FileSize: 0"));
    EXPECT_TRUE(HasLine(lines, "vm_FileCRC: 0"));
    EXPECT_TRUE(HasLine(lines, "Content-Length: 0"));
}

TEST_F(FileStoreTest, HeadersAddedAgainOnTheSameRequestAreNotDoubled) {
    auto request = NewRequest();
    request->AddRequestHeaders(kGetFileContentType);
    SendGetFile(*request, CreateProtocolDocument()->BuildGetFileRequest(kView, kKey));
    EXPECT_EQ(ClassifyReply(*request), ReplyKind::FileData);
    const auto lines = HeadLines(store_.LastRequest().body);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Content-Type: text/xml"), 1);
}

TEST_F(FileStoreTest, UnknownKeyAnswersAnErrorDocument) {
    const ReplyDecision d = GetFileTextDecision(L"no-such-key");
    EXPECT_EQ(d.box, ReplyBox::Message);
    EXPECT_NE(d.text.find(L"no-such-key"), std::wstring::npos);
    EXPECT_FALSE(d.stored);
}

TEST_F(FileStoreTest, GetFileFaultsAreReadAsTheTableSays) {
    struct Case {
        const wchar_t* fault;
        ReplyBox box;
        const wchar_t* shown;  // the text shown, or its start when it ends with "*"
    };
    const Case cases[] = {
        {L"name=text-plain", ReplyBox::Message, L"The file store is not available."},
        {L"name=html", ReplyBox::Message, L"<body><h1>Server Error</h1><p>The server could not process the request.</p></body>*"},
        {L"name=error", ReplyBox::Message, L"Simulated server error."},
        {L"name=success-and-error", ReplyBox::Message, L"Simulated server error."},
        {L"name=response-attributes", ReplyBox::Message, L"Simulated server error."},
        {L"name=trailing-html", ReplyBox::Message, L"Simulated server error."},
        {L"name=missing-end", ReplyBox::Message, L"<Response>*"},
        {L"name=empty", ReplyBox::None, L""},
    };
    for (const Case& c : cases) {
        store_.Fault(std::wstring(c.fault) + L"&for=getfile");
        std::wstring reply;
        const ReplyDecision d = GetFileTextDecision(kKey, &reply);
        const std::string label(c.fault, c.fault + wcslen(c.fault));
        EXPECT_EQ(d.box, c.box) << label << ": " << std::string(reply.begin(), reply.end());
        EXPECT_FALSE(d.stored) << label;
        std::wstring shown = c.shown;
        if (!shown.empty() && shown.back() == L'*') {
            shown.pop_back();
            EXPECT_EQ(d.text.substr(0, shown.size()), shown) << label;
        } else {
            EXPECT_EQ(d.text, shown) << label;
        }
    }
}

TEST_F(FileStoreTest, BinaryOctetWithParametersIsFileData) {
    store_.Fault(L"name=binary-octet-params");
    auto request = GetFile(kView, kKey);
    EXPECT_EQ(request->QueryContentType(), L"Binary/Octet; name=x");
    ASSERT_EQ(ClassifyReply(*request), ReplyKind::FileData);
    EXPECT_EQ(ReadAll(*request), "123456789");
}

TEST_F(FileStoreTest, ContentDescriptionStandsAtTheFrontOfTheReplyText) {
    store_.Fault(L"name=content-description&value=Server%20note.");
    std::wstring reply;
    const ReplyDecision d = GetFileTextDecision(L"no-such-key", &reply);
    EXPECT_EQ(reply.substr(0, 22), L"Server note.<Response>") << std::string(reply.begin(), reply.end());
    EXPECT_NE(d.text.find(L"no-such-key"), std::wstring::npos) << "the document after it still loads";
}

// Windows answers a challenge with the force-retry code and the request goes out again; Wine hands the 401
// page back as the reply, which is then a text like any other.
TEST_F(FileStoreTest, AuthenticationChallenge) {
    store_.Fault(L"name=auth-challenge&for=getfile");
    std::wstring reply;
    const ReplyDecision d = GetFileTextDecision(kKey, &reply);
    if (reply.empty() && d.box == ReplyBox::None) return;
    EXPECT_NE(d.text.find(L"401 Unauthorized"), std::wstring::npos) << std::string(reply.begin(), reply.end());
}

TEST_F(FileStoreTest, FilePostFaultsAreReadAsTheTableSays) {
    store_.Fault(L"name=error&for=upload");
    Posted p = PostFile(L"a.txt", "abc");
    EXPECT_FALSE(p.decision.stored);
    EXPECT_EQ(p.decision.box, ReplyBox::Error);
    EXPECT_EQ(p.decision.text, L"Simulated server error.");

    store_.Fault(L"name=success-and-error&for=upload");
    p = PostFile(L"a.txt", "abc");
    EXPECT_TRUE(p.decision.stored);
    EXPECT_EQ(p.decision.fileRef.size(), 36u);

    store_.Fault(L"name=text-plain&for=upload");
    p = PostFile(L"a.txt", "abc");
    EXPECT_FALSE(p.decision.stored);
    EXPECT_EQ(p.decision.box, ReplyBox::Message);
    EXPECT_EQ(p.decision.text, L"The file store is not available.");

    store_.Fault(L"name=missing-end&for=upload");
    p = PostFile(L"a.txt", "abc");
    EXPECT_FALSE(p.decision.stored);
    EXPECT_EQ(p.decision.box, ReplyBox::Message);
    EXPECT_EQ(p.decision.text, p.text);

    store_.Fault(L"name=empty&for=upload");
    p = PostFile(L"a.txt", "abc");
    EXPECT_FALSE(p.decision.stored);
    EXPECT_EQ(p.decision.box, ReplyBox::None);

    store_.Fault(L"name=trailing-html&for=upload");
    p = PostFile(L"a.txt", "abc");
    EXPECT_TRUE(p.decision.stored) << std::string(p.text.begin(), p.text.end());
}

TEST_F(FileStoreTest, ServerRefusesAWrongCrc) {
    const std::wstring path = WriteLocalFile(L"crc.txt", "12345678");
    UploadHeaderFields fields{L"crc.txt", kKey, kView, L"", 8, 0xCBF43926u};
    auto document = CreateProtocolDocument();
    auto request = NewRequest();
    ExclusiveFileSource files;
    PostObserver observer;
    SendFilePost(*request, files, document->BuildUploadHeader(fields), path, 8, observer);
    const ReplyDecision d = DecideReply(kFilePostReplyRules, *document, ReadReplyText(*request, SystemAnsiCodePage(), true));
    EXPECT_FALSE(d.stored);
    EXPECT_EQ(d.box, ReplyBox::Error);
    EXPECT_NE(d.text.find(L"CRC mismatch"), std::wstring::npos);
}

TEST(WinInetErrors, RefusedConnectionIsAnInternetErrorWithText) {
    auto session = OpenSession();
    // Port 1 on the loopback: nothing listens there.
    auto connection = session->Connect(L"127.0.0.1", 1);
    auto request = connection->OpenFileStoreRequest(kRequestFlagsHttp);
    try {
        SendGetFile(*request, L"<DataRequest/>");
        FAIL() << "the request went out";
    } catch (const InternetError& error) {
        EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ERROR_INTERNET_CANNOT_CONNECT));
        EXPECT_FALSE(error.text().empty());
        EXPECT_LE(error.text().size(), kMaxErrorText);
    }
}

TEST(ExclusiveFileSource, NobodyElseOpensTheFileWhileItIsSent) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"qm-exclusive.txt";
    std::ofstream(path.c_str(), std::ios::binary) << "0123456789";
    ExclusiveFileSource files;
    {
        auto file = files.OpenExclusive(path);
        const UniqueFileHandle other(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(other.get(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        char buffer[4096];
        EXPECT_EQ(file->Read(buffer, sizeof buffer), 10u);
        EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    }
    UniqueFileHandle holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
    try {
        files.OpenExclusive(path);
        ADD_FAILURE() << "opened although another reader holds it";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
        EXPECT_NE(error.text().find(L"qm-exclusive.txt"), std::wstring::npos);
    }
    holder.reset();
    EXPECT_THROW(files.OpenExclusive(path + L".missing"), FileError);
    DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(InternetErrorTextTest, CertificateFailuresAreExplainedWhereTheSystemHasNoText) {
    for (DWORD code : {12037u, 12038u, 12045u, 12169u}) {
        const std::wstring text = InternetErrorText(code);
        EXPECT_NE(text, L"Internet error " + std::to_wstring(code) + L".") << code;
        EXPECT_GT(text.size(), 20u) << code;
    }
}

}  // namespace
}  // namespace qm
