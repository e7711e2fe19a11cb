#include "server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "capture.h"
#include "manifest.h"
#include "wire.h"

namespace filestore {

namespace {

constexpr const char* kEndpoint = "/system/filestore/data.aspx";
constexpr std::size_t kMaxGetFileBody = 65536;
constexpr std::size_t kChunk = 256 * 1024;

constexpr const char* kInspection = "/_filestore/";
// A browser sends no such header to another origin without asking first (a preflight we never allow),
// so a page cannot make the store's state change behind a developer's back.
constexpr const char* kControlHeader = "X-Filestore-Control";
constexpr std::size_t kMaxControlBody = 1 << 20;
constexpr std::size_t kMaxSeedBody = 4 << 20;

// Set once a handler of ours has answered, so the error handler leaves the reply alone.
thread_local bool t_handled = false;
// A refusal answered before the body (Expect: 100-continue); the error handler writes it out.
thread_local std::string t_refusal;

bool IsInspection(const std::string& path) { return path.rfind(kInspection, 0) == 0; }

bool MayHaveBody(const httplib::Request& req) {
  return req.has_header("Transfer-Encoding") ||
         (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0");
}

// The length the head announces; nothing for a chunked body, UINT64_MAX when it is not a number.
std::optional<std::uint64_t> AnnouncedLength(const httplib::Request& req) {
  if (req.has_header("Transfer-Encoding") || !req.has_header("Content-Length")) return std::nullopt;
  std::string v = req.get_header_value("Content-Length");
  if (v.empty() || v.size() > 19 || v.find_first_not_of("0123456789") != std::string::npos) return UINT64_MAX;
  return std::stoull(v);
}

enum class BodyRead { Ok, TooLarge, Broken };

// Reads a body of at most `limit` bytes. A longer one is not read on: a length over the limit is refused
// before the first byte, a chunked body as soon as it passes the limit.
BodyRead ReadCapped(const httplib::Request& req, const httplib::ContentReader& reader, std::size_t limit,
                    std::string& body) {
  // Neither a length nor chunks: by HTTP/1.1 there is no body (the library's reader would call it broken).
  if (!req.has_header("Transfer-Encoding") && !req.has_header("Content-Length")) return BodyRead::Ok;
  if (auto length = AnnouncedLength(req); length && *length > limit) return BodyRead::TooLarge;
  bool over = false;
  bool read = reader([&](const char* d, std::size_t n) {
    if (body.size() + n > limit) {
      over = true;
      return false;
    }
    body.append(d, n);
    return true;
  });
  if (over) return BodyRead::TooLarge;
  return read ? BodyRead::Ok : BodyRead::Broken;
}

std::string TooLargeMessage(std::size_t limit) {
  return "the request body is larger than " + std::to_string(limit) + " bytes, the most this request accepts";
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string MediaType(const std::string& content_type) {
  std::string t = content_type.substr(0, content_type.find(';'));
  auto b = t.find_first_not_of(" \t");
  auto e = t.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : Lower(t.substr(b, e - b + 1));
}

void SetXml(httplib::Response& res, const std::string& doc, int status = 200) {
  res.status = status;
  res.set_content(doc, "text/xml");
}

struct OpenFile {
  int fd = -1;
  std::uint64_t size = 0;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

std::shared_ptr<OpenFile> Open(const std::filesystem::path& path) {
  auto f = std::make_shared<OpenFile>();
  f->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st{};
  if (f->fd < 0 || ::fstat(f->fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  f->size = static_cast<std::uint64_t>(st.st_size);
  return f;
}

// Keeps the average rate at or below `rate` bytes per second since `start`.
void Pace(std::chrono::steady_clock::time_point start, std::uint64_t sent, long long rate) {
  if (rate <= 0) return;
  auto due = start + std::chrono::microseconds(static_cast<long long>(sent * 1000000.0 / rate));
  std::this_thread::sleep_until(due);
}

struct BodyPlan {
  std::shared_ptr<OpenFile> file;
  std::uint64_t length = 0;       // what Content-Length says
  std::uint64_t send = 0;         // what is sent before the connection is dropped (== length normally)
  long long rate = 0;
};

// Streams the stored bytes (then filler bytes when the plan is longer) from a file.
void SetBody(httplib::Response& res, const std::string& content_type, BodyPlan plan) {
  if (plan.length == 0) {
    res.set_content("", content_type.c_str());
    return;
  }
  auto start = std::chrono::steady_clock::now();
  auto buffer = std::make_shared<std::vector<char>>(kChunk);
  res.set_content_provider(
      plan.length, content_type,
      [plan, start, buffer](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        if (offset >= plan.send) return false;  // the planned drop
        std::size_t n = std::min<std::uint64_t>({length, kChunk, plan.send - offset});
        if (plan.rate > 0) n = std::min<std::size_t>(n, std::max<long long>(1, plan.rate / 20));
        // A lying Content-Length: the last piece carries the bytes it did not announce (also when paced).
        if (offset + n == plan.length && plan.send > plan.length) n = plan.send - offset;
        if (n > buffer->size()) buffer->resize(n);
        std::size_t from_file = offset < plan.file->size ? std::min<std::uint64_t>(n, plan.file->size - offset) : 0;
        std::size_t got = 0;
        while (got < from_file) {
          ssize_t r = ::pread(plan.file->fd, buffer->data() + got, from_file - got, static_cast<off_t>(offset + got));
          if (r <= 0) return false;
          got += static_cast<std::size_t>(r);
        }
        std::fill(buffer->data() + from_file, buffer->data() + n, 'X');
        Pace(start, offset, plan.rate);
        return sink.write(buffer->data(), n);
      });
}

// A made fault body, piece by piece: never held whole, and an endless one stops only when the client goes.
void SetMadeBody(httplib::Response& res, const MadeBody& made) {
  auto body = std::make_shared<MadeBody>(made);
  auto start = std::chrono::steady_clock::now();
  auto piece = [body, start](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
    std::size_t n = std::min<std::size_t>(want, kChunk);
    if (body->rate > 0) n = std::min<std::size_t>(n, std::max<long long>(1, body->rate / 10));
    std::string bytes = body->Piece(offset, n);
    if (bytes.empty()) return false;
    Pace(start, offset, body->rate);
    return sink.write(bytes.data(), bytes.size());
  };
  if (made.endless)
    res.set_chunked_content_provider(made.content_type, [piece](std::size_t offset, httplib::DataSink& sink) {
      return piece(offset, kChunk, sink);
    });
  else
    res.set_content_provider(made.length, made.content_type, piece);
}

std::string RecordJson(const Record& r, const std::string& extra = {}) {
  std::string out = "{\"view\":" + JsonString(r.view) + ",\"key\":" + JsonString(r.key) +
                    ",\"name\":" + JsonString(r.name) + ",\"size\":" + std::to_string(r.size) +
                    ",\"crc\":" + std::to_string(r.crc) +
                    ",\"crc_signed\":" + std::to_string(static_cast<std::int32_t>(r.crc)) +
                    ",\"created\":" + JsonString(r.created) + ",\"updated\":" + JsonString(r.updated) +
                    ",\"checked_out_by\":" + JsonString(r.checked_out_by) +
                    ",\"user_name\":" + JsonString(r.user_name) + ",\"file_ref\":" + JsonString(r.file_ref);
  return out + extra + "}";
}

void SetJson(httplib::Response& res, const std::string& json, int status = 200) {
  res.status = status;
  res.set_content(json + "\n", "application/json");
}

std::string RequestLineTarget(const std::string& head, std::string& method) {
  RequestHead h = ParseRequestHead(head);
  auto sp = h.request_line.find(' ');
  method = h.request_line.substr(0, sp);
  if (sp == std::string::npos) return {};
  auto sp2 = h.request_line.find(' ', sp + 1);
  return h.request_line.substr(sp + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp - 1);
}

bool Drain(const httplib::ContentReader& reader, RequestEntry& entry) {
  return reader([&](const char* d, std::size_t n) {
    entry.body_crc = Crc32(entry.body_crc, d, n);
    entry.body_length += n;
    return true;
  });
}

// The reply a reply fault puts in place of the normal one. `success_ref` is the reference of a file that
// was stored for it, or empty.
void FaultReply(const Fault& f, RequestKind kind, const std::string& success_ref, httplib::Response& res) {
  auto child_doc = [&] {
    std::string child = f.Param("child", kind == RequestKind::Upload ? "success" : "error");
    if (child == "success")
      return "<Success FileRef=\"" + XmlAttribute(success_ref.empty() ? f.Param("fileref", "abc") : success_ref) +
             "\"/>";
    return "<Error Message=\"" + XmlAttribute(f.Param("message", "Simulated server error.")) + "\"/>";
  };
  res.status = 200;
  if (auto made = MadeReply(f)) return SetMadeBody(res, *made);
  if (f.name == "text-plain") {
    res.set_content(f.Param("text", "The file store is not available."), "text/plain");
  } else if (f.name == "empty") {
    res.set_content("", "text/plain");
  } else if (f.name == "html") {
    res.set_content("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
                    "<title>Server Error</title></head><body><h1>Server Error</h1><p>" +
                        f.Param("text", "The server could not process the request.") + "</p></body></html>",
                    "text/html");
  } else if (f.name == "error") {
    res.set_content(ErrorDocument(f.Param("message", "Simulated server error.")), "text/xml");
  } else if (f.name == "success-and-error") {
    res.set_content("<Response><Success FileRef=\"" +
                        XmlAttribute(success_ref.empty() ? f.Param("fileref", "abc") : success_ref) +
                        "\"/><Error Message=\"" + XmlAttribute(f.Param("message", "Simulated server error.")) +
                        "\"/></Response>",
                    "text/xml");
  } else if (f.name == "response-attributes") {
    res.set_content("<Response Version=\"1.0\" Status=\"ok\">" + child_doc() + "</Response>", "text/xml");
  } else if (f.name == "trailing-html") {
    res.set_content("<?xml version=\"1.0\"?><Response>" + child_doc() +
                        "</Response><html><body><p>trailer</p></body></html>",
                    "text/xml");
  } else if (f.name == "missing-end") {
    res.set_content("<Response>" + child_doc(), "text/xml");
  } else if (f.name == "auth-challenge") {
    res.status = 401;
    std::string scheme = f.Param("scheme", "negotiate-ntlm");
    if (scheme == "negotiate-ntlm" || scheme == "negotiate") res.set_header("WWW-Authenticate", "Negotiate");
    if (scheme == "negotiate-ntlm" || scheme == "ntlm") res.set_header("WWW-Authenticate", "NTLM");
    if (scheme == "basic") res.set_header("WWW-Authenticate", "Basic realm=\"filestore\"");
    res.set_content("<html><body><h1>401 Unauthorized</h1></body></html>", "text/html");
  } else if (f.name == "redirect") {
    res.status = static_cast<int>(f.Number("status", 302));
    res.set_header("Location", f.Param("to", "/"));
    res.set_content("<html><body><h1>Moved</h1></body></html>", "text/html");
  }
}

// Whether a reply fault's text says Success to a file post, so the file is stored for it.
bool FaultStores(const Fault& f) {
  if (f.name == "success-and-error") return true;
  if (f.name == "response-attributes" || f.name == "trailing-html" || f.name == "missing-end")
    return f.Param("child", "success") == "success";
  return false;
}

void ApplyCommon(const std::vector<Fault>& faults, httplib::Response& res) {
  if (auto f = FindFault(faults, "content-description")) res.set_header("Content-Description", f->Param("value", "Notice: "));
}

void ApplyDelay(const std::vector<Fault>& faults) {
  if (auto f = FindFault(faults, "delay")) std::this_thread::sleep_for(std::chrono::milliseconds(f->Number("ms", 1000)));
}

std::string FaultNames(const std::vector<Fault>& faults) {
  std::string out;
  for (auto& f : faults) out += (out.empty() ? "" : ",") + f.name;
  return out;
}

std::string PageType(const std::filesystem::path& p) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html"}, {".htm", "text/html"}, {".js", "text/javascript"}, {".css", "text/css"},
      {".txt", "text/plain"}, {".xml", "text/xml"}, {".json", "application/json"}, {".png", "image/png"},
      {".gif", "image/gif"}, {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".ico", "image/x-icon"},
      {".svg", "image/svg+xml"}};
  std::string ext = Lower(p.extension().string());
  for (auto& [e, t] : kTypes)
    if (ext == e) return t;
  return "application/octet-stream";
}

}  // namespace

// --- The request log ---------------------------------------------------------------------------------

std::string RequestEntry::Json() const {
  return "{\"seq\":" + std::to_string(seq) + ",\"connection\":" + std::to_string(connection) +
         ",\"peer\":" + JsonString(peer) + ",\"method\":" + JsonBytes(method) + ",\"target\":" + JsonBytes(target) +
         ",\"kind\":" + JsonString(kind) + ",\"head\":" + JsonBytes(head) + ",\"head_size\":" +
         std::to_string(head_size) + ",\"head_truncated\":" + (head_truncated ? "true" : "false") +
         ",\"body_length\":" + std::to_string(body_length) + ",\"body_crc\":" + std::to_string(body_crc) +
         ",\"status\":" + std::to_string(status) + ",\"outcome\":" + JsonString(outcome) + "}";
}

void RequestLog::Add(RequestEntry e) {
  std::lock_guard lock(mutex_);
  e.seq = next_seq_++;
  entries_.push_back(std::move(e));
  while (entries_.size() > kKept) entries_.pop_front();
}

std::deque<RequestEntry> RequestLog::All() {
  std::lock_guard lock(mutex_);
  return entries_;
}

bool RequestLog::Back(std::size_t n, RequestEntry& out) {
  std::lock_guard lock(mutex_);
  if (n == 0 || n > entries_.size()) return false;
  out = entries_[entries_.size() - n];
  return true;
}

void RequestLog::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

// --- Requests ----------------------------------------------------------------------------------------

RequestEntry FileStoreServer::NewEntry(const httplib::Request& req, const char* kind) {
  capture::Head head = capture::Current();
  RequestEntry e;
  e.connection = head.connection;
  e.peer = req.remote_addr + ":" + std::to_string(req.remote_port);
  e.kind = kind;
  e.head = head.bytes;
  e.head_size = head.size;
  e.head_truncated = head.size > head.bytes.size();
  e.target = RequestLineTarget(head.bytes, e.method);
  if (e.method.empty()) e.method = req.method;
  return e;
}

void FileStoreServer::Finish(RequestEntry& entry, const httplib::Response& res, std::string outcome) {
  t_handled = true;
  entry.status = res.status;
  entry.outcome = std::move(outcome);
  log_.Add(entry);
}

void FileStoreServer::Endpoint(const httplib::Request& req, httplib::Response& res,
                               const httplib::ContentReader& reader) {
  t_handled = true;
  std::string media = MediaType(req.get_header_value("Content-Type"));
  RequestEntry entry = NewEntry(req, media == "text/xml" ? "getfile" : media == "velmar/postedfile" ? "upload" : "endpoint-other");
  if (entry.head_size > capture::kKeptHead) {
    Drain(reader, entry);
    std::string message = "Request head too large: " + std::to_string(entry.head_size) + " bytes, at most " +
                          std::to_string(capture::kKeptHead) + " are accepted.";
    SetXml(res, ErrorDocument(message));
    return Finish(entry, res, "error: " + message);
  }
  if (media == "text/xml") return GetFile(req, res, reader, entry);
  if (media == "velmar/postedfile") return Upload(req, res, reader, entry);
  Drain(reader, entry);
  std::string message = "Unsupported content type \"" + req.get_header_value("Content-Type") +
                        "\": expected text/xml or velmar/postedfile.";
  SetXml(res, ErrorDocument(message));
  Finish(entry, res, "error: " + message);
}

void FileStoreServer::GetFile(const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader,
                              RequestEntry& entry) {
  std::string body;
  bool too_long = false;
  bool read = reader([&](const char* d, std::size_t n) {
    entry.body_crc = Crc32(entry.body_crc, d, n);
    entry.body_length += n;
    if (body.size() + n <= kMaxGetFileBody) body.append(d, n);
    else too_long = true;
    return true;
  });
  if (!read) return Finish(entry, res, "aborted: the request body did not arrive");

  std::string error;
  std::optional<GetFileRequest> request;
  if (too_long) error = "The GetFile request is longer than " + std::to_string(kMaxGetFileBody) + " bytes.";
  else request = ParseGetFile(body, error);
  std::optional<Record> record;
  std::shared_ptr<OpenFile> file;
  if (request) {
    // A re-upload may replace the bytes between the lookup and the open; the second look finds the new ones.
    for (int attempt = 0; attempt < 2 && !file; ++attempt) {
      record = store_.Find(request->view_name, request->prim_key);
      if (!record) break;
      file = Open(store_.BlobPath(*record));
    }
    if (!record) error = "No file is stored under view " + request->view_name + ", key " + request->prim_key + ".";
    else if (!file) error = "The stored bytes of view " + request->view_name + ", key " + request->prim_key + " cannot be read.";
  }

  auto faults = faults_.Take(RequestKind::GetFile, file != nullptr);
  ApplyDelay(faults);
  ApplyCommon(faults, res);
  if (const Fault* f = ReplyFault(faults)) {
    FaultReply(*f, RequestKind::GetFile, {}, res);
    return Finish(entry, res, "fault " + FaultNames(faults));
  }
  if (!file) {
    SetXml(res, ErrorDocument(error));
    return Finish(entry, res, "error: " + error);
  }
  BodyPlan plan;
  plan.file = file;
  plan.length = plan.send = file->size;
  std::string type = "binary/octet-stream";
  if (FindFault(faults, "binary-octet-params")) type = "Binary/Octet; name=x";
  if (auto f = FindFault(faults, "short-body"))
    plan.length = plan.send = file->size - std::min<std::uint64_t>(file->size, f->Number("bytes", 1));
  if (auto f = FindFault(faults, "long-body")) plan.length = plan.send = file->size + f->Number("bytes", 1);
  if (auto f = FindFault(faults, "overrun-body"))
    plan.length = file->size - std::min<std::uint64_t>(file->size, f->Number("bytes", 1));
  if (auto f = FindFault(faults, "drop-mid-body")) plan.send = std::min<std::uint64_t>(plan.length, f->Number("at", plan.length / 2));
  if (auto f = FindFault(faults, "slow-body")) plan.rate = f->Number("rate", 65536);
  res.status = 200;
  SetBody(res, type, plan);
  Finish(entry, res, faults.empty() ? "file" : "file, fault " + FaultNames(faults));
}

void FileStoreServer::Upload(const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader,
                             RequestEntry& entry) {
  auto faults = faults_.Take(RequestKind::Upload, false);
  std::string error;
  auto fields = ParseUploadFields(ParseRequestHead(entry.head), error);
  std::unique_ptr<PendingFile> pending;
  if (fields) {
    try {
      pending = store_.BeginFile();
    } catch (const std::exception& e) {
      error = std::string("The server cannot store the file: ") + e.what() + ".";
      fields.reset();
    }
  }
  long long rate = 0;
  if (auto f = FindFault(faults, "slow-body"); f && f->target == "upload") rate = f->Number("rate", 65536);
  auto start = std::chrono::steady_clock::now();
  bool write_ok = true;
  bool read = reader([&](const char* d, std::size_t n) {
    Pace(start, entry.body_length, rate);
    entry.body_length += n;
    if (pending) write_ok = pending->Write(d, n) && write_ok;
    else entry.body_crc = Crc32(entry.body_crc, d, n);
    return true;
  });
  if (pending) entry.body_crc = pending->crc();
  if (!read) return Finish(entry, res, "aborted: the body did not arrive, nothing stored");

  if (fields) {
    auto size = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.body_length));
    auto crc = static_cast<std::int32_t>(entry.body_crc);
    if (size != fields->file_size)
      error = "File size mismatch: vm_FileSize is " + std::to_string(fields->file_size) + ", the body has " +
              std::to_string(entry.body_length) + " bytes.";
    else if (crc != fields->file_crc)
      error = "CRC mismatch: vm_FileCRC is " + std::to_string(fields->file_crc) + ", the body's CRC-32 is " +
              std::to_string(crc) + ".";
    else if (!write_ok)
      error = "The server could not write the file.";
  }
  bool valid = error.empty();
  const Fault* reply_fault = ReplyFault(faults);
  std::string file_ref;
  if (valid && (!reply_fault || FaultStores(*reply_fault))) {
    try {
      Record r;
      r.view = fields->view_name;
      r.key = fields->prim_key;
      r.name = fields->file_name;
      file_ref = store_.Commit(*pending, r, true).file_ref;
    } catch (const std::exception& e) {
      error = std::string("The server could not store the file: ") + e.what() + ".";
      valid = false;
    }
  }
  ApplyDelay(faults);
  ApplyCommon(faults, res);
  if (reply_fault) {
    FaultReply(*reply_fault, RequestKind::Upload, file_ref, res);
    return Finish(entry, res, std::string(file_ref.empty() ? "not stored" : "stored " + file_ref) + ", fault " + FaultNames(faults));
  }
  if (!valid) {
    SetXml(res, ErrorDocument(error));
    return Finish(entry, res, "error: " + error);
  }
  SetXml(res, SuccessDocument(file_ref));
  Finish(entry, res, "stored " + file_ref);
}

void FileStoreServer::Page(const httplib::Request& req, httplib::Response& res) {
  if (IsInspection(req.path)) {
    t_handled = true;
    return SetJson(res, "{\"error\":\"unknown inspection request\"}", 404);
  }
  RequestEntry entry = NewEntry(req, "page");
  entry.body_length = req.body.size();
  entry.body_crc = Crc32(req.body);
  auto not_found = [&](const std::string& why) {
    SetXml(res, ErrorDocument(why), 404);
    Finish(entry, res, "error: " + why);
  };
  if (options_.pages.empty()) return not_found("No page folder is served.");
  std::string path = req.path;
  if (path.empty() || path[0] != '/' || path.find('\\') != std::string::npos || path.find('\0') != std::string::npos)
    return not_found("Bad page path.");
  std::filesystem::path rel;
  std::size_t pos = 1;
  while (pos <= path.size()) {
    auto slash = path.find('/', pos);
    std::string segment = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    if (segment == "..") return not_found("Bad page path.");
    if (!segment.empty() && segment != ".") rel /= segment;
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  if (path.back() == '/') rel /= "index.html";
  auto full = options_.pages / rel;
  auto file = Open(full);
  if (!file) return not_found("No page " + path + ".");
  BodyPlan plan;
  plan.file = file;
  plan.length = plan.send = file->size;
  res.status = 200;
  SetBody(res, PageType(full), plan);
  Finish(entry, res, "page");
}

void FileStoreServer::Inspect(httplib::Server& server) {
  using httplib::Request;
  using httplib::Response;
  auto handled = [](auto fn) {
    return [fn](const Request& req, Response& res) {
      t_handled = true;
      try {
        fn(req, res);
      } catch (const std::exception& e) {
        SetJson(res, "{\"error\":" + JsonString(e.what()) + "}", 400);
      }
    };
  };
  server.Get("/_filestore/health", handled([](const Request&, Response& res) { res.set_content("ok\n", "text/plain"); }));
  server.Get("/_filestore/records", handled([this](const Request&, Response& res) {
    std::string out = "[";
    for (auto& r : store_.All()) out += (out.size() > 1 ? "," : "") + RecordJson(r);
    SetJson(res, out + "]");
  }));
  auto find = [this](const Request& req, Response& res) -> std::optional<Record> {
    auto r = store_.Find(req.get_param_value("view"), req.get_param_value("key"));
    if (!r) SetJson(res, "{\"error\":\"no such record\"}", 404);
    return r;
  };
  server.Get("/_filestore/record", handled([this, find](const Request& req, Response& res) {
    auto r = find(req, res);
    if (!r) return;
    auto file = Open(store_.BlobPath(*r));
    if (!file) return SetJson(res, "{\"error\":\"the stored bytes cannot be read\"}", 500);
    std::vector<char> buffer(kChunk);
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    for (ssize_t n; (n = ::read(file->fd, buffer.data(), buffer.size())) > 0; size += n)
      crc = Crc32(crc, buffer.data(), static_cast<std::size_t>(n));
    SetJson(res, RecordJson(*r, ",\"bytes_size\":" + std::to_string(size) + ",\"bytes_crc\":" + std::to_string(crc)));
  }));
  server.Get("/_filestore/bytes", handled([this, find](const Request& req, Response& res) {
    auto r = find(req, res);
    if (!r) return;
    auto file = Open(store_.BlobPath(*r));
    if (!file) return SetJson(res, "{\"error\":\"the stored bytes cannot be read\"}", 500);
    BodyPlan plan;
    plan.file = file;
    plan.length = plan.send = file->size;
    SetBody(res, "binary/octet-stream", plan);
  }));
  server.Get("/_filestore/requests", handled([this](const Request&, Response& res) {
    std::string out = "[";
    for (auto& e : log_.All()) out += (out.size() > 1 ? ",\n" : "") + e.Json();
    SetJson(res, out + "]");
  }));
  server.Get("/_filestore/request", handled([this](const Request& req, Response& res) {
    std::size_t back = req.has_param("back") ? std::stoul(req.get_param_value("back")) : 1;
    RequestEntry e;
    if (!log_.Back(back, e)) return SetJson(res, "{\"error\":\"no such request\"}", 404);
    res.set_header("X-Filestore-Seq", std::to_string(e.seq));
    res.set_header("X-Filestore-Body-Length", std::to_string(e.body_length));
    res.set_header("X-Filestore-Body-Crc", std::to_string(e.body_crc));
    res.set_content(e.head, "application/octet-stream");
  }));
  server.Get("/_filestore/faults", handled([this](const Request&, Response& res) {
    std::string out = "[";
    for (auto& f : faults_.List()) out += (out.size() > 1 ? "," : "") + f.Json();
    SetJson(res, out + "]");
  }));

  // The control actions: POST only, with the control header (Refusal), bodies capped (Control).
  controls_["/_filestore/seed"] = {kMaxSeedBody, [this](const Request&, const std::string& body, Response& res) {
    // A manifest from the network reads files only from the store's own folders.
    std::vector<std::filesystem::path> roots = {store_.dir()};
    if (!options_.pages.empty()) roots.push_back(options_.pages);
    int n = Seed(store_, ParseManifest(body), std::filesystem::current_path(), roots);
    SetJson(res, "{\"seeded\":" + std::to_string(n) + "}");
  }};
  controls_["/_filestore/reset"] = {kMaxControlBody, [this](const Request&, const std::string&, Response& res) {
    store_.Reset();
    faults_.Clear();
    log_.Clear();
    SetJson(res, "{\"reset\":true}");
  }};
  controls_["/_filestore/requests/clear"] = {kMaxControlBody, [this](const Request&, const std::string&, Response& res) {
    log_.Clear();
    SetJson(res, "{\"cleared\":true}");
  }};
  controls_["/_filestore/fault"] = {kMaxControlBody, [this](const Request& req, const std::string&, Response& res) {
    Fault f;
    for (auto& [k, v] : req.params) {
      if (k == "name") f.name = v;
      else if (k == "count") f.remaining = ParseInt32(v).value_or(0);
      else if (k == "for") f.target = v;
      else f.params[k] = v;
    }
    if (auto problem = ValidateFault(f); !problem.empty())
      return SetJson(res, "{\"error\":" + JsonString(problem) + "}", 400);
    SetJson(res, f.Json());
    faults_.Set(std::move(f));
  }};
  controls_["/_filestore/faults/clear"] = {kMaxControlBody, [this](const Request&, const std::string&, Response& res) {
    faults_.Clear();
    SetJson(res, "{\"cleared\":true}");
  }};
  server.Post("/_filestore/.*", [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
    Control(req, res, reader);
  });
}

std::optional<std::pair<int, std::string>> FileStoreServer::Refusal(const httplib::Request& req) const {
  // A page whose name was rebound to this machine's address still sends its own name as the Host.
  if (!IsLocalHost(req.get_header_value("Host"), options_.host))
    return std::pair(403, "the Host header \"" + req.get_header_value("Host") +
                              "\" does not name this machine's loopback or the address the server listens on");
  bool control = controls_.count(req.path) > 0;
  if (control && (req.method != "POST" || req.get_header_value(kControlHeader) != "1"))
    return std::pair(403, std::string("a control action is accepted only as POST with the header ") + kControlHeader +
                              ": 1");
  if (!control && req.method != "GET" && req.method != "HEAD")
    return std::pair(404, std::string("unknown inspection request"));
  return std::nullopt;
}

void FileStoreServer::Control(const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
  t_handled = true;
  auto control = controls_.find(req.path);
  if (control == controls_.end()) return SetJson(res, "{\"error\":\"unknown inspection request\"}", 404);
  std::string body;
  switch (ReadCapped(req, reader, control->second.max_body, body)) {
    case BodyRead::TooLarge:
      capture::EndConnection();
      res.set_header("Connection", "close");
      return SetJson(res, "{\"error\":" + JsonString(TooLargeMessage(control->second.max_body)) + "}", 413);
    case BodyRead::Broken:
      return SetJson(res, "{\"error\":\"the request body did not arrive\"}", 400);
    case BodyRead::Ok:
      break;
  }
  try {
    control->second.run(req, body, res);
  } catch (const std::exception& e) {
    SetJson(res, "{\"error\":" + JsonString(e.what()) + "}", 400);
  }
}

void FileStoreServer::Install(httplib::Server& server) {
  server.set_payload_max_length(options_.max_body);
  using httplib::Server;
  // The inspection interface is refused here, before any body is read.
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    t_handled = false;
    t_refusal.clear();
    if (!IsInspection(req.path)) return Server::HandlerResponse::Unhandled;
    auto refusal = Refusal(req);
    if (!refusal) return Server::HandlerResponse::Unhandled;
    t_handled = true;
    // Left unread, the body would be taken for the next request on the connection.
    if (MayHaveBody(req)) {
      capture::EndConnection();
      res.set_header("Connection", "close");
    }
    SetJson(res, "{\"error\":" + JsonString(refusal->second) + "}", refusal->first);
    return Server::HandlerResponse::Handled;
  });
  // A client that waits for 100 Continue is refused before it sends the body at all.
  server.set_expect_100_continue_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (!IsInspection(req.path)) return 100;
    auto refusal = Refusal(req);
    if (!refusal) {
      auto control = controls_.find(req.path);
      auto length = AnnouncedLength(req);
      if (control == controls_.end() || !length || *length <= control->second.max_body) return 100;
      refusal = std::pair(413, TooLargeMessage(control->second.max_body));
    }
    t_refusal = "{\"error\":" + JsonString(refusal->second) + "}";
    capture::EndConnection();
    res.status = refusal->first;
    return refusal->first;
  });
  server.Post(kEndpoint, [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
    Endpoint(req, res, reader);
  });
  Inspect(server);
  server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { Page(req, res); });
  // Other bodies are streamed past, never held: the library keeps a body whole for a route without a reader.
  auto not_found = [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
    RequestEntry entry = NewEntry(req, "other");
    Drain(reader, entry);
    SetXml(res, ErrorDocument("Nothing is served at " + req.path + "."), 404);
    Finish(entry, res, "error: not found");
  };
  server.Post("(?!/_filestore/).*", not_found);
  server.Put(".*", not_found);
  server.Patch(".*", not_found);
  server.Delete(".*", not_found);
  // Replies that the library makes itself (a request it cannot parse, a body over the limit).
  server.set_error_handler(httplib::Server::HandlerWithResponse([this](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty() || res.content_provider_) return httplib::Server::HandlerResponse::Unhandled;
    if (!t_refusal.empty()) {
      SetJson(res, t_refusal, res.status);
      res.set_header("Connection", "close");
      return httplib::Server::HandlerResponse::Handled;
    }
    capture::Head head = capture::Current();
    std::string message = head.cut ? "Request head too large: it passed " + std::to_string(capture::kMaxHead) + " bytes."
                          : res.status == 413 ? "Request body too large: at most " + std::to_string(options_.max_body) + " bytes are accepted."
                          : "Bad request (HTTP status " + std::to_string(res.status) + ").";
    SetXml(res, ErrorDocument(message), res.status);
    res.set_header("Connection", "close");
    RequestEntry entry = NewEntry(req, "bad-request");
    // After a refused body the connection is ending: what the library makes of its rest is not a request.
    if (!t_handled && !head.ended && !IsInspection(entry.target)) Finish(entry, res, "error: " + message);
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    capture::NextRequest();
    t_handled = false;
    t_refusal.clear();
    if (!options_.quiet)
      std::fprintf(stderr, "filestore: %s %s %s -> %d\n", req.remote_addr.c_str(), req.method.c_str(),
                   req.target.c_str(), res.status);
  });
}

}  // namespace filestore
