#include "wire.h"

#include <arpa/inet.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>

namespace filestore {

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  auto p = static_cast<const Bytef*>(data);
  while (size > 0) {
    uInt n = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
    crc = static_cast<std::uint32_t>(crc32(crc, p, n));
    p += n;
    size -= n;
  }
  return crc;
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns false for an invalid one.
bool NextUtf8(std::string_view s, std::size_t& i, std::uint32_t& cp) {
  auto b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return false;
  cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len; ++k) {
    auto c = static_cast<unsigned char>(s[i + k]);
    if ((c >> 6) != 2) return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  static const std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += len;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  static const std::uint16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  std::uint32_t cp;
  for (std::size_t i = 0; i < bytes.size();)
    if (!NextUtf8(bytes, i, cp)) return false;
  return true;
}

std::string HeaderValueToUtf8(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
}

static const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                      (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (bytes.size() - i == 1) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += "==";
  } else if (bytes.size() - i == 2) {
    std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      if (c == '=') {
        // Padding only in the last group, only at its end.
        if (i + 4 != text.size() || k < 2) return std::nullopt;
        ++pad;
        v[k] = 0;
        continue;
      }
      if (pad) return std::nullopt;
      const char* p = c ? std::char_traits<char>::find(kBase64, 64, c) : nullptr;
      if (!p) return std::nullopt;
      v[k] = static_cast<int>(p - kBase64);
    }
    std::uint32_t n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out += static_cast<char>(n >> 16);
    if (pad < 2) out += static_cast<char>((n >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(n & 0xFF);
  }
  return out;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

// --- The GetFile document -------------------------------------------------------------------------

namespace {

struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // values in UTF-8
  std::vector<std::unique_ptr<XmlElement>> children;
};

class XmlReader {
 public:
  explicit XmlReader(std::string_view text) : s_(text) {}

  std::unique_ptr<XmlElement> ReadDocument() {
    SkipMisc(true);
    if (!Peek('<')) return Fail("no root element");
    auto root = ReadElement(0);
    if (!root) return nullptr;
    SkipMisc(false);
    if (!error_.empty()) return nullptr;
    if (pos_ != s_.size()) return Fail("content after the root element");
    return root;
  }

  const std::string& error() const { return error_; }

 private:
  std::unique_ptr<XmlElement> Fail(std::string why) {
    if (error_.empty()) error_ = why + " at byte " + std::to_string(pos_);
    return nullptr;
  }
  bool Peek(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
  bool StartsWith(std::string_view t) const { return s_.substr(pos_, t.size()) == t; }
  void SkipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) ++pos_;
  }
  static bool IsNameChar(char c) {
    auto b = static_cast<unsigned char>(c);
    return std::isalnum(b) || c == '_' || c == ':' || c == '-' || c == '.' || b >= 0x80;
  }
  std::string ReadName() {
    std::size_t start = pos_;
    while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }

  // White space, comments and processing instructions (the declaration only at the very start).
  void SkipMisc(bool at_start) {
    for (;;) {
      SkipSpace();
      if (StartsWith("<!--")) {
        auto end = s_.find("-->", pos_ + 4);
        if (end == std::string_view::npos) { Fail("unterminated comment"); return; }
        pos_ = end + 3;
      } else if (StartsWith("<?")) {
        bool decl = StartsWith("<?xml") && pos_ + 5 < s_.size() && !IsNameChar(s_[pos_ + 5]);
        if (decl && !(at_start && pos_ == 0)) { Fail("misplaced XML declaration"); return; }
        auto end = s_.find("?>", pos_ + 2);
        if (end == std::string_view::npos) { Fail("unterminated processing instruction"); return; }
        pos_ = end + 2;
      } else {
        return;
      }
      at_start = false;
    }
  }

  bool ReadReference(std::string& out) {
    auto end = s_.find(';', pos_);
    if (end == std::string_view::npos || end - pos_ > 12) { Fail("bad reference"); return false; }
    std::string_view ref = s_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    if (ref == "lt") out += '<';
    else if (ref == "gt") out += '>';
    else if (ref == "amp") out += '&';
    else if (ref == "quot") out += '"';
    else if (ref == "apos") out += '\'';
    else if (ref.size() > 1 && ref[0] == '#') {
      bool hex = ref[1] == 'x';
      std::string_view digits = ref.substr(hex ? 2 : 1);
      if (digits.empty()) { Fail("bad character reference"); return false; }
      std::uint32_t cp = 0;
      for (char c : digits) {
        int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : hex && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10 : -1;
        if (d < 0) { Fail("bad character reference"); return false; }
        cp = cp * (hex ? 16 : 10) + d;
        if (cp > 0x10FFFF) { Fail("character reference out of range"); return false; }
      }
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) { Fail("character reference out of range"); return false; }
      AppendUtf8(out, cp);
    } else {
      Fail("unknown entity");
      return false;
    }
    return true;
  }

  std::unique_ptr<XmlElement> ReadElement(int depth) {
    if (depth > 16) return Fail("elements nested too deeply");
    ++pos_;  // '<'
    auto element = std::make_unique<XmlElement>();
    element->name = ReadName();
    if (element->name.empty()) return Fail("element without a name");
    for (;;) {
      std::size_t before = pos_;
      SkipSpace();
      if (StartsWith("/>")) { pos_ += 2; return element; }
      if (Peek('>')) { ++pos_; break; }
      if (pos_ == before) return Fail("bad character in a tag");
      std::string name = ReadName();
      if (name.empty()) return Fail("bad attribute name");
      SkipSpace();
      if (!Peek('=')) return Fail("attribute without a value");
      ++pos_;
      SkipSpace();
      if (!Peek('"') && !Peek('\'')) return Fail("attribute value without quotes");
      char quote = s_[pos_++];
      std::string value;
      for (;;) {
        if (pos_ >= s_.size()) return Fail("unterminated attribute value");
        char c = s_[pos_];
        if (c == quote) { ++pos_; break; }
        if (c == '<') return Fail("'<' in an attribute value");
        if (c == '&') {
          if (!ReadReference(value)) return nullptr;
        } else {
          AppendUtf8(value, static_cast<unsigned char>(c));
          ++pos_;
        }
      }
      for (auto& a : element->attributes)
        if (a.first == name) return Fail("attribute " + name + " given twice");
      element->attributes.emplace_back(std::move(name), std::move(value));
    }
    // Content: child elements, comments and text (text is not used).
    for (;;) {
      if (pos_ >= s_.size()) return Fail("element " + element->name + " not closed");
      if (StartsWith("</")) {
        pos_ += 2;
        std::string name = ReadName();
        SkipSpace();
        if (name != element->name || !Peek('>')) return Fail("mismatched end tag");
        ++pos_;
        return element;
      }
      if (StartsWith("<!--")) {
        auto end = s_.find("-->", pos_ + 4);
        if (end == std::string_view::npos) return Fail("unterminated comment");
        pos_ = end + 3;
      } else if (Peek('<')) {
        if (StartsWith("<?") || StartsWith("<!")) return Fail("unsupported markup");
        auto child = ReadElement(depth + 1);
        if (!child) return nullptr;
        element->children.push_back(std::move(child));
      } else if (Peek('&')) {
        std::string ignored;
        if (!ReadReference(ignored)) return nullptr;
      } else {
        ++pos_;
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::string error_;
};

const std::string* Attribute(const XmlElement& e, std::string_view name) {
  for (auto& a : e.attributes)
    if (a.first == name) return &a.second;
  return nullptr;
}

}  // namespace

std::optional<GetFileRequest> ParseGetFile(std::string_view body, std::string& error) {
  XmlReader reader(body);
  auto root = reader.ReadDocument();
  if (!root) {
    error = "The request is not a well-formed XML document: " + reader.error() + ".";
    return std::nullopt;
  }
  if (root->name != "DataRequest") {
    error = "The request's root element is " + root->name + ", not DataRequest.";
    return std::nullopt;
  }
  const XmlElement* get = nullptr;
  for (auto& child : root->children)
    if (child->name == "GetFile") { get = child.get(); break; }
  if (!get) {
    error = "The request has no GetFile element.";
    return std::nullopt;
  }
  const std::string* view = Attribute(*get, "ViewName");
  const std::string* key = Attribute(*get, "PrimKey");
  if (!view || view->empty()) {
    error = "The GetFile element has no ViewName.";
    return std::nullopt;
  }
  if (!key || key->empty()) {
    error = "The GetFile element has no PrimKey.";
    return std::nullopt;
  }
  return GetFileRequest{*view, *key};
}

// --- Request heads and the post's fields -------------------------------------------------------------

RequestHead ParseRequestHead(std::string_view head) {
  RequestHead out;
  bool first = true;
  while (!head.empty()) {
    auto eol = head.find('\n');
    std::string_view line = head.substr(0, eol);
    head.remove_prefix(eol == std::string_view::npos ? head.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      out.request_line = std::string(line);
      first = false;
      continue;
    }
    if (line.empty()) break;
    auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    out.fields.push_back({std::string(Trim(line.substr(0, colon))), std::string(Trim(line.substr(colon + 1)))});
  }
  return out;
}

const HeaderField* FindField(const RequestHead& head, std::string_view name) {
  for (auto& f : head.fields)
    if (EqualsNoCase(f.name, name)) return &f;
  return nullptr;
}

std::string FileNameProblem(std::string_view name) {
  if (name.empty()) return "The file name is empty.";
  if (name == "." || name == "..") return "The file name \"" + std::string(name) + "\" is not a file name.";
  for (char c : name) {
    if (c == '/' || c == '\\') return "The file name \"" + std::string(name) + "\" holds a path separator.";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "The file name holds a control character.";
  }
  return {};
}

std::optional<UploadFields> ParseUploadFields(const RequestHead& head, std::string& error) {
  auto field = [&](const char* name) -> const HeaderField* {
    const HeaderField* f = FindField(head, name);
    if (!f || f->value.empty()) {
      error = std::string("The header field ") + name + " is missing or empty.";
      return nullptr;
    }
    return f;
  };
  UploadFields out;
  const HeaderField* f;
  if (!(f = field("vm_PrimKey"))) return std::nullopt;
  out.prim_key = HeaderValueToUtf8(f->value);
  if (!(f = field("vm_ViewName"))) return std::nullopt;
  out.view_name = HeaderValueToUtf8(f->value);
  if (!(f = field("vm_FileName"))) return std::nullopt;
  auto name = Base64Decode(f->value);
  if (!name) {
    error = "vm_FileName \"" + f->value + "\" is not valid base64.";
    return std::nullopt;
  }
  // A client that says so sends the name's UTF-8 bytes; every other client sends Windows-1252.
  if (const HeaderField* encoding = FindField(head, "vm_FileNameEncoding")) {
    std::string value;
    for (char c : encoding->value) value += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (value != "utf-8") {
      error = "vm_FileNameEncoding \"" + encoding->value + "\" is not supported (only utf-8 is).";
      return std::nullopt;
    }
    if (!IsValidUtf8(*name)) {
      error = "vm_FileName is not valid UTF-8, as vm_FileNameEncoding says it is.";
      return std::nullopt;
    }
    out.file_name = *name;
  } else {
    out.file_name = Cp1252ToUtf8(*name);
  }
  if (auto problem = FileNameProblem(out.file_name); !problem.empty()) {
    error = problem;
    return std::nullopt;
  }
  if (!(f = field("vm_FileSize"))) return std::nullopt;
  auto size = ParseInt32(f->value);
  if (!size) {
    error = "vm_FileSize \"" + f->value + "\" is not a signed 32-bit decimal number.";
    return std::nullopt;
  }
  out.file_size = *size;
  if (!(f = field("vm_FileCRC"))) return std::nullopt;
  auto crc = ParseInt32(f->value);
  if (!crc) {
    error = "vm_FileCRC \"" + f->value + "\" is not a signed 32-bit decimal number.";
    return std::nullopt;
  }
  out.file_crc = *crc;
  return out;
}

// --- Documents and JSON ------------------------------------------------------------------------------

std::string XmlAttribute(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp;
    if (!NextUtf8(utf8, i, cp)) {
      cp = static_cast<unsigned char>(utf8[i]);
      ++i;
    }
    // XML 1.0 has no way to write the other C0 controls or U+FFFE/U+FFFF, not even as a reference.
    bool xml_char = cp == '\t' || cp == '\n' || cp == '\r' || (cp >= 0x20 && cp <= 0xD7FF) ||
                    (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
    if (!xml_char) cp = 0xFFFD;
    switch (cp) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (cp >= 0x20 && cp < 0x7F) out += static_cast<char>(cp);
        else out += "&#" + std::to_string(cp) + ";";
    }
  }
  return out;
}

std::string SuccessDocument(std::string_view file_ref) {
  return "<Response><Success FileRef=\"" + XmlAttribute(file_ref) + "\"/></Response>";
}

std::string ErrorDocument(std::string_view message) {
  return "<Response><Error Message=\"" + XmlAttribute(message) + "\"/></Response>";
}

static void JsonAppend(std::string& out, std::uint32_t cp) {
  switch (cp) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
  }
  if (cp < 0x20 || cp == 0x7F) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
    out += buf;
  } else {
    AppendUtf8(out, cp);
  }
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp;
    if (!NextUtf8(utf8, i, cp)) {
      cp = 0xFFFD;
      ++i;
    }
    JsonAppend(out, cp);
  }
  return out + "\"";
}

std::string JsonBytes(std::string_view bytes) {
  std::string out = "\"";
  for (char c : bytes) JsonAppend(out, static_cast<unsigned char>(c));
  return out + "\"";
}

bool IsLocalHost(std::string_view host, std::string_view listen_host) {
  std::string name;
  std::string_view port;
  if (!host.empty() && host[0] == '[') {
    auto close = host.find(']');
    if (close == std::string_view::npos) return false;
    name = std::string(host.substr(1, close - 1));
    port = host.substr(close + 1);
    if (!port.empty() && port[0] != ':') return false;
  } else {
    auto colon = host.find(':');
    if (colon != std::string_view::npos && host.find(':', colon + 1) != std::string_view::npos) return false;
    name = std::string(host.substr(0, colon));
    if (colon != std::string_view::npos) port = host.substr(colon);
  }
  if (!port.empty()) port.remove_prefix(1);
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) return false;
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name.empty()) return false;
  // A fully qualified spelling ("localhost.") names the same host.
  if (name.back() == '.') name.pop_back();
  if (name == "localhost") return true;
  unsigned char a4[4];
  if (inet_pton(AF_INET, name.c_str(), a4) == 1 && a4[0] == 127) return true;
  unsigned char a6[16];
  if (inet_pton(AF_INET6, name.c_str(), a6) == 1) {
    static const unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(a6, a6 + 16, kLoopback)) return true;
    if (std::equal(a6, a6 + 12, kMapped) && a6[12] == 127) return true;
  }
  std::string listen(listen_host);
  if (listen.size() > 1 && listen.front() == '[' && listen.back() == ']') listen = listen.substr(1, listen.size() - 2);
  for (auto& c : listen) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return !listen.empty() && name == listen;
}

std::string NewFileRef() {
  thread_local std::mt19937_64 rng{std::random_device{}() ^
                                   static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  std::uint64_t a = rng(), b = rng();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                static_cast<unsigned>(b >> 48), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return buf;
}

std::string UtcNowText() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

bool IsTimeText(std::string_view t) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd";
  if (t.size() != 19) return false;
  for (std::size_t i = 0; i < 19; ++i)
    if (kShape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(t[i])) : t[i] != kShape[i]) return false;
  auto num = [&](std::size_t at, std::size_t n) { return std::stoi(std::string(t.substr(at, n))); };
  int y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2), s = num(17, 2);
  return y >= 1601 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h <= 23 && mi <= 59 && s <= 59;
}

}  // namespace filestore
