#include "faults.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "wire.h"

namespace filestore {

namespace {

const std::set<std::string> kReply = {"text-plain", "html", "error", "success-and-error", "response-attributes",
                                      "trailing-html", "missing-end", "empty", "auth-challenge",
                                      "doctype-external", "entity-bomb", "huge-html", "huge-response", "endless",
                                      "redirect"};
const std::set<std::string> kFileData = {"binary-octet-params", "short-body", "long-body", "drop-mid-body",
                                         "overrun-body", "slow-body"};
const std::set<std::string> kAny = {"content-description", "delay"};

bool IsNumber(const std::string& s, bool allow_negative) {
  std::size_t i = allow_negative && !s.empty() && s[0] == '-' ? 1 : 0;
  return i < s.size() && s.size() - i <= 18 && s.find_first_not_of("0123456789", i) == std::string::npos;
}

}  // namespace

std::string Fault::Param(const std::string& key, const std::string& fallback) const {
  auto it = params.find(key);
  return it == params.end() ? fallback : it->second;
}

long long Fault::Number(const std::string& key, long long fallback) const {
  auto it = params.find(key);
  return it == params.end() ? fallback : std::stoll(it->second);
}

bool Fault::IsReply() const { return kReply.count(name) > 0; }
bool Fault::IsFileData() const { return kFileData.count(name) > 0; }

std::string Fault::Json() const {
  std::string out = "{\"name\":" + JsonString(name) + ",\"count\":" + std::to_string(remaining) +
                    ",\"for\":" + JsonString(target) + ",\"params\":{";
  bool first = true;
  for (auto& [k, v] : params) {
    out += (first ? "" : ",") + JsonString(k) + ":" + JsonString(v);
    first = false;
  }
  return out + "}}";
}

std::string ValidateFault(const Fault& f) {
  if (!kReply.count(f.name) && !kFileData.count(f.name) && !kAny.count(f.name))
    return "unknown fault \"" + f.name + "\"";
  if (f.target != "any" && f.target != "getfile" && f.target != "upload")
    return "for must be any, getfile or upload";
  if (f.remaining == 0 || f.remaining < -1) return "count must be a positive number or -1";
  for (const char* key : {"bytes", "at", "rate", "ms", "size", "depth"}) {
    auto it = f.params.find(key);
    if (it != f.params.end() && !IsNumber(it->second, false)) return std::string(key) + " must be a number";
  }
  if (f.name == "slow-body" && f.Number("rate", 65536) <= 0) return "rate must be above 0";
  if (f.name == "entity-bomb" && (f.Number("depth", 10) < 1 || f.Number("depth", 10) > 40))
    return "depth must be 1 to 40";
  if (f.name == "endless" && f.Number("rate", 64) <= 0) return "rate must be above 0";
  if (f.name == "redirect" && (f.Number("status", 302) < 300 || f.Number("status", 302) > 399))
    return "status must be 300 to 399";
  if (f.name == "response-attributes" || f.name == "trailing-html" || f.name == "missing-end") {
    auto child = f.Param("child", "");
    if (!child.empty() && child != "success" && child != "error") return "child must be success or error";
  }
  if (f.name == "auth-challenge") {
    auto scheme = f.Param("scheme", "negotiate-ntlm");
    if (scheme != "negotiate-ntlm" && scheme != "ntlm" && scheme != "negotiate" && scheme != "basic")
      return "scheme must be negotiate-ntlm, ntlm, negotiate or basic";
  }
  return {};
}

void FaultSet::Set(Fault f) {
  std::lock_guard lock(mutex_);
  for (auto& existing : faults_)
    if (existing.name == f.name) {
      existing = std::move(f);
      return;
    }
  faults_.push_back(std::move(f));
}

void FaultSet::Clear() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<Fault> FaultSet::List() {
  std::lock_guard lock(mutex_);
  return faults_;
}

std::vector<Fault> FaultSet::Take(RequestKind kind, bool has_file) {
  std::lock_guard lock(mutex_);
  std::vector<Fault> taken;
  for (auto it = faults_.begin(); it != faults_.end();) {
    bool applies = kind != RequestKind::Other;
    if (it->target == "getfile" && kind != RequestKind::GetFile) applies = false;
    if (it->target == "upload" && kind != RequestKind::Upload) applies = false;
    if (it->IsFileData()) {
      bool upload_rate = it->name == "slow-body" && it->target == "upload" && kind == RequestKind::Upload;
      if (!upload_rate && !(kind == RequestKind::GetFile && has_file)) applies = false;
    }
    if (!applies) {
      ++it;
      continue;
    }
    taken.push_back(*it);
    if (it->remaining > 0 && --it->remaining == 0) it = faults_.erase(it);
    else ++it;
  }
  return taken;
}

std::string MadeBody::Piece(std::uint64_t offset, std::size_t n) const {
  std::string out;
  const std::uint64_t end = endless ? UINT64_MAX : length;
  const std::uint64_t filler_end = endless ? UINT64_MAX : std::max<std::uint64_t>(head.size(), length - std::min<std::uint64_t>(length, tail.size()));
  while (out.size() < n && offset < end) {
    std::size_t room = n - out.size();
    if (offset < head.size()) {
      std::size_t k = std::min<std::uint64_t>(room, head.size() - offset);
      out.append(head, offset, k);
      offset += k;
    } else if (offset < filler_end && !filler.empty()) {
      std::uint64_t at = (offset - head.size()) % filler.size();
      std::size_t k = std::min<std::uint64_t>({room, filler.size() - at, filler_end - offset});
      out.append(filler, at, k);
      offset += k;
    } else {
      std::uint64_t at = offset - filler_end;
      if (at >= tail.size()) break;
      std::size_t k = std::min<std::uint64_t>(room, tail.size() - at);
      out.append(tail, at, k);
      offset += k;
    }
  }
  return out;
}

std::optional<MadeBody> MadeReply(const Fault& f) {
  MadeBody b;
  if (f.name == "doctype-external") {
    // An external entity: a parser that resolves it fetches the address (a port the test watches).
    b.content_type = "text/xml";
    b.head = "<?xml version=\"1.0\"?>\n<!DOCTYPE Response [\n<!ENTITY ext SYSTEM \"" +
             XmlAttribute(f.Param("url", "http://127.0.0.1:9/entity.xml")) +
             "\">\n]>\n<Response><Error Message=\"fetched: &ext;\"/></Response>";
  } else if (f.name == "entity-bomb") {
    // Each entity is ten of the one before: depth 10 expands to 10^10 copies of the first.
    b.content_type = "text/xml";
    long long depth = f.Number("depth", 10);
    b.head = "<?xml version=\"1.0\"?>\n<!DOCTYPE Response [\n<!ENTITY e0 \"lol\">\n";
    for (long long i = 1; i <= depth; ++i) {
      b.head += "<!ENTITY e" + std::to_string(i) + " \"";
      for (int k = 0; k < 10; ++k) b.head += "&e" + std::to_string(i - 1) + ";";
      b.head += "\">\n";
    }
    b.head += "]>\n<Response><Error Message=\"&e" + std::to_string(depth) + ";\"/></Response>";
  } else if (f.name == "huge-html") {
    b.content_type = "text/html";
    b.head = "<html><head><title>Server Error</title></head><body><h1>Server Error</h1><p>";
    b.filler = "The server is busy. ";
    b.tail = "</p></body></html>";
    b.length = f.Number("size", 100 << 20);
  } else if (f.name == "huge-response") {
    b.content_type = "text/xml";
    b.head = "<Response><Error Message=\"";
    b.filler = "Simulated server error. ";
    b.tail = "\"/></Response>";
    b.length = f.Number("size", 100 << 20);
  } else if (f.name == "endless") {
    b.content_type = f.Param("type", "text/xml");
    b.head = "<Response><Error Message=\"";
    b.filler = "still working ";
    b.endless = true;
    b.rate = f.Number("rate", 64);
  } else {
    return std::nullopt;
  }
  if (!b.endless) b.length = std::max<std::uint64_t>(b.length, b.head.size() + b.tail.size());
  return b;
}

const Fault* FindFault(const std::vector<Fault>& faults, const std::string& name) {
  for (auto& f : faults)
    if (f.name == name) return &f;
  return nullptr;
}

const Fault* ReplyFault(const std::vector<Fault>& faults) {
  for (auto& f : faults)
    if (f.IsReply()) return &f;
  return nullptr;
}

}  // namespace filestore
