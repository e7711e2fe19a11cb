// Texts that cross the wire: the GetFile document, the post's header fields, the response documents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace filestore {

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);
inline std::uint32_t Crc32(std::string_view bytes) { return Crc32(0, bytes.data(), bytes.size()); }

// ISO-8859-1 bytes to UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);
// Windows-1252 bytes to UTF-8 (the five unassigned bytes map to the C1 controls, as Windows does).
std::string Cp1252ToUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
// UTF-8 kept when valid, otherwise the bytes read as ISO-8859-1.
std::string HeaderValueToUtf8(std::string_view bytes);

std::optional<std::string> Base64Decode(std::string_view text);
std::string Base64Encode(std::string_view bytes);

// A signed 32-bit decimal: optional '-', digits, nothing else, in range.
std::optional<std::int32_t> ParseInt32(std::string_view text);

struct GetFileRequest {
  std::string view_name;  // UTF-8
  std::string prim_key;   // UTF-8
};

// Parses a DataRequest/GetFile document (one byte per character). On failure returns nothing and sets error.
std::optional<GetFileRequest> ParseGetFile(std::string_view body, std::string& error);

// One header line of a request head, split at its first colon; blanks around the colon dropped.
struct HeaderField {
  std::string name;
  std::string value;
};

struct RequestHead {
  std::string request_line;
  std::vector<HeaderField> fields;
};

// Splits a raw request head (lines ended by CR LF or LF) into its request line and fields.
RequestHead ParseRequestHead(std::string_view head);
// First field whose name matches without regard to case.
const HeaderField* FindField(const RequestHead& head, std::string_view name);

struct UploadFields {
  std::string prim_key;
  std::string view_name;
  std::string file_name;  // UTF-8
  std::int32_t file_size = 0;
  std::int32_t file_crc = 0;
};

// Reads and checks the vm_ fields of a file post. On failure returns nothing and sets error.
std::optional<UploadFields> ParseUploadFields(const RequestHead& head, std::string& error);

// Why a stored file name is refused, or empty when it is acceptable.
std::string FileNameProblem(std::string_view utf8_name);

// XML attribute value in pure ASCII: markup escaped, other characters as references; characters XML 1.0
// cannot carry (C0 controls other than tab, LF and CR, U+FFFE, U+FFFF) become U+FFFD.
std::string XmlAttribute(std::string_view utf8);
std::string SuccessDocument(std::string_view file_ref);
std::string ErrorDocument(std::string_view message);

std::string JsonString(std::string_view utf8);
// Every byte as one character (U+0000..U+00FF), for raw heads.
std::string JsonBytes(std::string_view bytes);

// Whether a Host header value (name or address, optional port) names this machine's loopback interface
// (localhost, 127.0.0.0/8, ::1) or listen_host, the address the server was started on.
bool IsLocalHost(std::string_view host, std::string_view listen_host);

std::string NewFileRef();
std::string UtcNowText();
// "YYYY-MM-DD HH:MM:SS" with fields in range.
bool IsTimeText(std::string_view text);

}  // namespace filestore
