#pragma once
// Byte and number forms of the texts that go on the wire.
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// Standard alphabet, "=" padding, no line breaks.
std::wstring Base64Encode(std::string_view bytes);

// UTF-8 of a text held as UTF-16 (or as code points where wchar_t is wider); a lone surrogate becomes U+FFFD.
std::string Utf8Bytes(const std::wstring& text);

// The 32 bits read as a signed number: 0xCBF43926 gives "-873187034".
std::wstring SignedDecimalText(std::uint32_t value);

// The GetFile body: one byte per character (ISO 8859-1). A character of 256 or above is written as a
// character reference, so the body stays single-byte without losing or cutting anything.
std::string EncodeGetFileBody(const std::wstring& requestText);

}  // namespace qm
