#pragma once
// Ports of the HTTP client: a session opens connections, a connection opens requests to the file store.
// Every failure is thrown as qm::InternetError carrying the client's error code and text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qm {

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // CR LF separated header lines, added only where not already present (so a repeated send adds nothing).
    virtual void AddRequestHeaders(const std::wstring& headers) = 0;
    virtual void BeginRequest(std::uint32_t totalLength) = 0;
    virtual void Write(const void* data, std::size_t size) = 0;
    virtual void EndRequest() = 0;
    // Empty when the reply has no content type.
    virtual std::wstring QueryContentType() = 0;
    virtual std::optional<std::wstring> QueryContentDescription() = 0;
    virtual std::uint32_t QueryStatusCode() = 0;
    virtual std::uint32_t QueryDataAvailable() = 0;
    // 0 at the end of the reply.
    virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    virtual std::unique_ptr<HttpRequest> OpenFileStoreRequest(std::uint32_t requestFlags) = 0;
};

class HttpSession {
public:
    virtual ~HttpSession() = default;
    virtual std::unique_ptr<HttpConnection> Connect(const std::wstring& serverName, std::uint16_t serverPort) = 0;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual std::unique_ptr<HttpSession> OpenSession() = 0;
};

// A local file opened for sending: nobody else may read or write it while it is open; closed when destroyed.
class PostedFile {
public:
    virtual ~PostedFile() = default;
    // 0 at the end of the file; throws qm::FileError when reading fails.
    virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};

class PostedFileSource {
public:
    virtual ~PostedFileSource() = default;
    // Throws qm::FileError with the platform's text when the file cannot be opened exclusively.
    virtual std::unique_ptr<PostedFile> OpenExclusive(const std::wstring& path) = 0;
};

}  // namespace qm
