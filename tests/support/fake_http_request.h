#pragma once
// An HTTP request that records what it is given and replays a prepared reply, which can be cut off.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "protocol/http_client.h"

namespace qm::testing {

class FakeHttpRequest : public HttpRequest {
public:
    // What the request did, in order: "headers", "begin N", "write N", "end".
    std::vector<std::string> calls;
    std::vector<std::wstring> headerLines;  // ADD_IF_NEW: a line whose name is already present is not added again
    std::string body;                       // bytes written since the last begin
    std::uint32_t announced = 0;
    int endsBeforeSuccess = 0;              // EndRequest throws this many times...
    std::uint32_t endErrorCode = 12032;     // ...with this code

    std::wstring contentType;
    std::optional<std::wstring> contentDescription;
    std::string replyBody;
    std::size_t available = 0;  // what QueryDataAvailable answers
    std::size_t readPosition = 0;
    std::vector<std::size_t> readSizes;  // the size asked for by each Read
    int statusQueries = 0;

    void AddRequestHeaders(const std::wstring& headers) override {
        calls.push_back("headers");
        std::size_t start = 0;
        while (start < headers.size()) {
            std::size_t end = headers.find(L"\r\n", start);
            if (end == std::wstring::npos) end = headers.size();
            const std::wstring line = headers.substr(start, end - start);
            const std::wstring name = line.substr(0, line.find(L':'));
            bool present = false;
            for (const auto& existing : headerLines) present |= existing.substr(0, existing.find(L':')) == name;
            if (!line.empty() && !present) headerLines.push_back(line);
            start = end + 2;
        }
    }
    void BeginRequest(std::uint32_t totalLength) override {
        calls.push_back("begin " + std::to_string(totalLength));
        announced = totalLength;
        body.clear();
    }
    void Write(const void* data, std::size_t size) override {
        calls.push_back("write " + std::to_string(size));
        body.append(static_cast<const char*>(data), size);
    }
    void EndRequest() override {
        calls.push_back("end");
        if (endsBeforeSuccess > 0) {
            --endsBeforeSuccess;
            throw InternetError(endErrorCode, L"The request must be sent again.");
        }
    }
    std::wstring QueryContentType() override { return contentType; }
    std::optional<std::wstring> QueryContentDescription() override { return contentDescription; }
    std::uint32_t QueryStatusCode() override {
        ++statusQueries;
        return 200;
    }
    // With arrivals set, the body comes in those pieces: a query that finds nothing unread lets the next one in,
    // and a read of more than has arrived counts as one that would have waited for the network.
    std::vector<std::size_t> arrivals;
    std::size_t arrivedUnread = 0;
    bool arriving = false;  // the arrivals model is in use (it answers 0 at the end)
    int availabilityQueries = 0;
    int waitingReads = 0;

    std::uint32_t QueryDataAvailable() override {
        ++availabilityQueries;
        arriving = arriving || !arrivals.empty();
        if (!arriving) return static_cast<std::uint32_t>(available);
        if (arrivedUnread == 0 && !arrivals.empty()) {
            arrivedUnread = arrivals.front();
            arrivals.erase(arrivals.begin());
        }
        return static_cast<std::uint32_t>(arrivedUnread);
    }
    // After cutAfter bytes of the body a read throws the client's error with cutCode.
    std::optional<std::size_t> cutAfter;
    std::uint32_t cutCode = 12030;
    // Called with the body position before and after every read: what the user does meanwhile.
    std::function<void(std::size_t)> beforeRead, afterRead;

    std::size_t Read(void* buffer, std::size_t size) override {
        if (beforeRead) beforeRead(readPosition);
        if (cutAfter && readPosition >= *cutAfter)
            throw InternetError(cutCode, L"The connection with the server was terminated abnormally");
        if (cutAfter) size = std::min(size, *cutAfter - readPosition);
        readSizes.push_back(size);
        if (arriving) {
            if (size > arrivedUnread && readPosition + arrivedUnread < replyBody.size()) ++waitingReads;
            arrivedUnread -= std::min(arrivedUnread, size);
        }
        const std::size_t n = std::min(size, replyBody.size() - readPosition);
        std::memcpy(buffer, replyBody.data() + readPosition, n);
        readPosition += n;
        if (afterRead) afterRead(readPosition);
        return n;
    }

    void SetReply(std::string bytes) {
        replyBody = std::move(bytes);
        available = replyBody.size();
        readPosition = 0;
    }
};

}  // namespace qm::testing
