#pragma once
// The HTTP client ports over WinInet, and the exclusive local-file source of file posts.
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <set>
#include <string>

#include "common/win32/owners.h"
#include "protocol/http_client.h"

namespace qm {

// The client's text for an internet error code (the server's last answer for an extended error).
std::wstring InternetErrorText(DWORD code);
[[noreturn]] void ThrowInternetError(DWORD code);

class WinInetRequest : public HttpRequest {
public:
    explicit WinInetRequest(UniqueHinternet request) : request_(std::move(request)) {}
    void AddRequestHeaders(const std::wstring& headers) override;
    void BeginRequest(std::uint32_t totalLength) override;
    void Write(const void* data, std::size_t size) override;
    void EndRequest() override;
    std::wstring QueryContentType() override;
    std::optional<std::wstring> QueryContentDescription() override;
    std::uint32_t QueryStatusCode() override;
    std::uint32_t QueryDataAvailable() override;
    std::size_t Read(void* buffer, std::size_t size) override;

    HINTERNET handle() const { return request_.get(); }

private:
    std::optional<std::wstring> QueryText(DWORD info, const wchar_t* name = nullptr);
    UniqueHinternet request_;
    std::set<std::wstring> addedHeaders_;  // lower-cased names
};

class WinInetConnection : public HttpConnection {
public:
    explicit WinInetConnection(UniqueHinternet connection) : connection_(std::move(connection)) {}
    // POST "/system/filestore/data.aspx" "HTTP/1.1", no referrer, no accept types, context 1.
    std::unique_ptr<HttpRequest> OpenFileStoreRequest(std::uint32_t requestFlags) override;

private:
    UniqueHinternet connection_;
};

class WinInetSession : public HttpSession {
public:
    explicit WinInetSession(UniqueHinternet session) : session_(std::move(session)) {}
    // No user name or password, no automatic redirect.
    std::unique_ptr<HttpConnection> Connect(const std::wstring& serverName, std::uint16_t serverPort) override;

private:
    UniqueHinternet session_;
};

// Agent "Quillmark 2.1.0.1", the system's proxy settings, no cache.
std::unique_ptr<HttpSession> OpenSession();

class WinInetClient : public HttpClient {
public:
    std::unique_ptr<HttpSession> OpenSession() override { return qm::OpenSession(); }
};

// Opens with no sharing at all: no other reader or writer while the file is sent.
class ExclusiveFileSource : public PostedFileSource {
public:
    std::unique_ptr<PostedFile> OpenExclusive(const std::wstring& path) override;
};

}  // namespace qm
