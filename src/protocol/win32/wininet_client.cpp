#include "protocol/win32/wininet_client.h"

#include <cwctype>
#include <vector>

#include "common/errors.h"
#include "protocol/file_store_client.h"

namespace qm {

namespace {

constexpr DWORD_PTR kContext = 1;

std::wstring TrimLineEnds(std::wstring text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return text;
}

std::wstring SystemText(DWORD code) {
    std::wstring text = TrimLineEnds(SystemErrorText(code));
    return text.empty() ? L"Error " + std::to_wstring(code) + L"." : text;
}

class ExclusiveFile : public PostedFile {
public:
    ExclusiveFile(UniqueFileHandle file, std::wstring path) : file_(std::move(file)), path_(std::move(path)) {}
    std::size_t Read(void* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(file_.get(), buffer, static_cast<DWORD>(size), &got, nullptr)) {
            const DWORD code = GetLastError();
            throw FileError(code, SystemText(code) + L" " + path_);
        }
        return got;
    }

private:
    UniqueFileHandle file_;
    std::wstring path_;
};

}  // namespace

// Some systems (Wine) carry no text for the certificate failures of a secure connection; the user must still
// learn why the server was refused.
std::wstring CertificateErrorText(DWORD code) {
    const std::wstring tail = L" The connection to the server was refused (Internet error " + std::to_wstring(code) + L").";
    switch (code) {
        case 12037: return L"The server's security certificate has expired or is not yet valid." + tail;
        case 12038: return L"The server's security certificate was issued for another name." + tail;
        case 12045: return L"The server's security certificate was issued by an authority that is not trusted." + tail;
        case 12169: case 12179: return L"The server's security certificate is not valid." + tail;
        case 12057: return L"The server's security certificate could not be checked for revocation." + tail;
        case 12157: return L"A secure connection to the server could not be made." + tail;
        default: return {};
    }
}

std::wstring InternetErrorText(DWORD code) {
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD error = 0;
        DWORD length = 0;
        InternetGetLastResponseInfoW(&error, nullptr, &length);
        if (length > 0) {
            std::vector<wchar_t> buffer(length + 1);
            if (InternetGetLastResponseInfoW(&error, buffer.data(), &length)) {
                std::wstring text = TrimLineEnds(std::wstring(buffer.data(), length));
                if (!text.empty()) return text;
            }
        }
    }
    std::wstring text = TrimLineEnds(SystemErrorText(code, GetModuleHandleW(L"wininet.dll")));
    if (text.empty()) text = TrimLineEnds(SystemErrorText(code));
    if (text.empty()) text = CertificateErrorText(code);
    return text.empty() ? L"Internet error " + std::to_wstring(code) + L"." : text;
}

void ThrowInternetError(DWORD code) {
    throw InternetError(code, InternetErrorText(code));
}

void WinInetRequest::AddRequestHeaders(const std::wstring& headers) {
    // Lines whose header this request already carries are left out: a repeated send adds nothing, and
    // clients differ in how they refuse an existing header under ADD_IF_NEW.
    std::wstring fresh;
    for (std::size_t start = 0; start < headers.size();) {
        std::size_t end = headers.find(L"\r\n", start);
        if (end == std::wstring::npos) end = headers.size();
        const std::wstring line = headers.substr(start, end - start);
        start = end + 2;
        if (line.empty()) continue;
        std::wstring name = line.substr(0, line.find(L':'));
        while (!name.empty() && name.back() == L' ') name.pop_back();
        for (auto& c : name) c = static_cast<wchar_t>(towlower(c));
        if (!addedHeaders_.insert(name).second) continue;
        fresh += line + L"\r\n";
    }
    if (fresh.empty()) return;
    if (!HttpAddRequestHeadersW(request_.get(), fresh.c_str(), static_cast<DWORD>(fresh.size()),
                                HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
        const DWORD code = GetLastError();
        if (code != ERROR_HTTP_HEADER_ALREADY_EXISTS) ThrowInternetError(code);
    }
}

void WinInetRequest::BeginRequest(std::uint32_t totalLength) {
    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = totalLength;
    if (!HttpSendRequestExW(request_.get(), &buffers, nullptr, HSR_INITIATE, kContext)) ThrowInternetError(GetLastError());
}

void WinInetRequest::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!InternetWriteFile(request_.get(), bytes, static_cast<DWORD>(size), &written)) ThrowInternetError(GetLastError());
        if (written == 0) ThrowInternetError(ERROR_INTERNET_CONNECTION_ABORTED);
        bytes += written;
        size -= written;
    }
}

void WinInetRequest::EndRequest() {
    if (!HttpEndRequestW(request_.get(), nullptr, 0, kContext)) ThrowInternetError(GetLastError());
}

std::optional<std::wstring> WinInetRequest::QueryText(DWORD info, const wchar_t* name) {
    DWORD size = 256 * sizeof(wchar_t);
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    for (;;) {
        // A custom query names the header in the buffer it answers into.
        if (info == HTTP_QUERY_CUSTOM) {
            const std::size_t length = wcslen(name);
            if (buffer.size() <= length) buffer.resize(length + 1);
            wcscpy(buffer.data(), name);
        }
        DWORD index = 0;
        if (HttpQueryInfoW(request_.get(), info, buffer.data(), &size, &index))
            return std::wstring(buffer.data(), size / sizeof(wchar_t));
        const DWORD code = GetLastError();
        if (code == ERROR_HTTP_HEADER_NOT_FOUND) return std::nullopt;
        if (code != ERROR_INSUFFICIENT_BUFFER) ThrowInternetError(code);
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
}

std::wstring WinInetRequest::QueryContentType() {
    return QueryText(HTTP_QUERY_CONTENT_TYPE).value_or(std::wstring());
}

std::optional<std::wstring> WinInetRequest::QueryContentDescription() {
    // Wine's client does not map this query to its header; asking by name finds it everywhere.
    if (auto value = QueryText(HTTP_QUERY_CONTENT_DESCRIPTION)) return value;
    return QueryText(HTTP_QUERY_CUSTOM, L"Content-Description");
}

std::uint32_t WinInetRequest::QueryStatusCode() {
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    if (!HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
        ThrowInternetError(GetLastError());
    return status;
}

std::uint32_t WinInetRequest::QueryDataAvailable() {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request_.get(), &available, 0, 0)) ThrowInternetError(GetLastError());
    return available;
}

std::size_t WinInetRequest::Read(void* buffer, std::size_t size) {
    DWORD got = 0;
    if (!InternetReadFile(request_.get(), buffer, static_cast<DWORD>(size), &got)) ThrowInternetError(GetLastError());
    return got;
}

std::unique_ptr<HttpRequest> WinInetConnection::OpenFileStoreRequest(std::uint32_t requestFlags) {
    // A reply may not send the request elsewhere: a redirect comes back as the reply it is, and is told.
    UniqueHinternet request(HttpOpenRequestW(connection_.get(), L"POST", kFileStoreObject, kHttpVersion, nullptr,
                                            nullptr, requestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT, kContext));
    if (!request) ThrowInternetError(GetLastError());
    return std::make_unique<WinInetRequest>(std::move(request));
}

std::unique_ptr<HttpConnection> WinInetSession::Connect(const std::wstring& serverName, std::uint16_t serverPort) {
    UniqueHinternet connection(InternetConnectW(session_.get(), serverName.c_str(), serverPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, kConnectionFlags, kContext));
    if (!connection) ThrowInternetError(GetLastError());
    return std::make_unique<WinInetConnection>(std::move(connection));
}

std::unique_ptr<HttpSession> OpenSession() {
    UniqueHinternet session(InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, kSessionFlags));
    if (!session) ThrowInternetError(GetLastError());
    return std::make_unique<WinInetSession>(std::move(session));
}

std::unique_ptr<PostedFile> ExclusiveFileSource::OpenExclusive(const std::wstring& path) {
    // A full path too long for the plain form is opened in the long form, as the file system port measured it.
    std::wstring opened = path;
    if (path.size() >= MAX_PATH && path.size() > 2 && path[1] == L':' && path[2] == L'\\') opened = L"\\\\?\\" + path;
    UniqueFileHandle file(CreateFileW(opened.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        throw FileError(code, SystemText(code) + L" " + path);
    }
    return std::make_unique<ExclusiveFile>(std::move(file), path);
}

}  // namespace qm
