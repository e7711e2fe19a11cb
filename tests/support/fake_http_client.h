#pragma once
// The HTTP client port with its sessions and connections: replies handed out in order, one per opened request;
// the test keeps a view of each.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "protocol/http_client.h"
#include "support/fake_http_request.h"

namespace qm::testing {

class FakeHttpClient : public HttpClient {
public:
    std::deque<std::shared_ptr<FakeHttpRequest>> replies;
    std::vector<std::shared_ptr<FakeHttpRequest>> opened;
    int sessions = 0, connections = 0;
    std::vector<std::pair<std::wstring, std::uint16_t>> connectedTo;
    std::optional<std::uint32_t> connectError;

    std::shared_ptr<FakeHttpRequest> AddFile(const std::string& bytes, const std::wstring& type = L"binary/octet-stream") {
        auto r = std::make_shared<FakeHttpRequest>();
        r->contentType = type;
        r->SetReply(bytes);
        replies.push_back(r);
        return r;
    }

    // The request the code owns, forwarding to the one the test keeps.
    class Request : public HttpRequest {
    public:
        explicit Request(std::shared_ptr<FakeHttpRequest> r) : r_(std::move(r)) {}
        void AddRequestHeaders(const std::wstring& h) override { r_->AddRequestHeaders(h); }
        void BeginRequest(std::uint32_t n) override { r_->BeginRequest(n); }
        void Write(const void* d, std::size_t n) override { r_->Write(d, n); }
        void EndRequest() override { r_->EndRequest(); }
        std::wstring QueryContentType() override { return r_->QueryContentType(); }
        std::optional<std::wstring> QueryContentDescription() override { return r_->QueryContentDescription(); }
        std::uint32_t QueryStatusCode() override { return r_->QueryStatusCode(); }
        std::uint32_t QueryDataAvailable() override { return r_->QueryDataAvailable(); }
        std::size_t Read(void* b, std::size_t n) override { return r_->Read(b, n); }

    private:
        std::shared_ptr<FakeHttpRequest> r_;
    };
    class Connection : public HttpConnection {
    public:
        explicit Connection(FakeHttpClient& c) : c_(c) {}
        std::unique_ptr<HttpRequest> OpenFileStoreRequest(std::uint32_t) override {
            if (c_.replies.empty()) throw InternetError(12002, L"The operation timed out");
            auto r = c_.replies.front();
            c_.replies.pop_front();
            c_.opened.push_back(r);
            return std::make_unique<Request>(r);
        }

    private:
        FakeHttpClient& c_;
    };
    class Session : public HttpSession {
    public:
        explicit Session(FakeHttpClient& c) : c_(c) {}
        std::unique_ptr<HttpConnection> Connect(const std::wstring& name, std::uint16_t port) override {
            if (c_.connectError) throw InternetError(*c_.connectError, L"A connection with the server could not be established");
            ++c_.connections;
            c_.connectedTo.emplace_back(name, port);
            return std::make_unique<Connection>(c_);
        }

    private:
        FakeHttpClient& c_;
    };
    std::unique_ptr<HttpSession> OpenSession() override {
        ++sessions;
        return std::make_unique<Session>(*this);
    }
};

}  // namespace qm::testing
