// The HTTP side: the endpoint, the pages, the inspection and fault interface.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "faults.h"
#include "store.h"

namespace filestore {

struct RequestEntry {
  std::uint64_t seq = 0;
  std::uint64_t connection = 0;
  std::string peer;
  std::string method;
  std::string target;
  std::string kind;
  std::string head;
  std::size_t head_size = 0;
  bool head_truncated = false;
  std::uint64_t body_length = 0;
  std::uint32_t body_crc = 0;
  int status = 200;
  std::string outcome;
  std::string Json() const;
};

class RequestLog {
 public:
  static constexpr std::size_t kKept = 256;
  void Add(RequestEntry e);
  std::deque<RequestEntry> All();
  bool Back(std::size_t n, RequestEntry& out);
  void Clear();

 private:
  std::mutex mutex_;
  std::deque<RequestEntry> entries_;
  std::uint64_t next_seq_ = 1;
};

struct ServerOptions {
  std::filesystem::path pages;  // empty: no pages
  std::string host = "127.0.0.1";  // the address listened on; Host headers may name it
  bool quiet = false;
  std::size_t max_body = 8ull << 30;
};

class FileStoreServer {
 public:
  FileStoreServer(Store& store, ServerOptions options) : store_(store), options_(std::move(options)) {}
  void Install(httplib::Server& server);

 private:
  void Endpoint(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);
  void GetFile(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader,
               RequestEntry& entry);
  void Upload(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader,
              RequestEntry& entry);
  void Page(const httplib::Request& req, httplib::Response& res);
  void Inspect(httplib::Server& server);
  // Why a request under /_filestore/ is refused (status and message), or nothing.
  std::optional<std::pair<int, std::string>> Refusal(const httplib::Request& req) const;
  void Control(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);

  struct ControlAction {
    std::size_t max_body;
    std::function<void(const httplib::Request&, const std::string& body, httplib::Response&)> run;
  };
  RequestEntry NewEntry(const httplib::Request& req, const char* kind);
  void Finish(RequestEntry& entry, const httplib::Response& res, std::string outcome);

  Store& store_;
  ServerOptions options_;
  FaultSet faults_;
  RequestLog log_;
  std::map<std::string, ControlAction> controls_;  // by path
};

}  // namespace filestore
