#include "protocol/wire_text.h"

#include <cstdio>

namespace qm {

std::wstring Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8) | std::uint8_t(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const std::uint32_t v = std::uint8_t(bytes[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += L"==";
    } else if (rest == 2) {
        const std::uint32_t v = (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += L'=';
    }
    return out;
}

std::string Utf8Bytes(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring SignedDecimalText(std::uint32_t value) {
    return std::to_wstring(static_cast<std::int32_t>(value));
}

namespace {

void AppendCharacterReference(std::string& out, std::uint32_t codePoint) {
    char reference[16];
    std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(codePoint));
    out += reference;
}

}  // namespace

std::string EncodeGetFileBody(const std::wstring& requestText) {
    std::string body;
    body.reserve(requestText.size());
    for (std::size_t i = 0; i < requestText.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(requestText[i]);
        if (c < 256) {
            body += static_cast<char>(c);
            continue;
        }
        // UTF-16 text carries characters above U+FFFF as surrogate pairs; a reference names the whole character.
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < requestText.size()) {
                const std::uint32_t low = static_cast<std::uint32_t>(requestText[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        // A lone surrogate cannot be referenced in XML.
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        AppendCharacterReference(body, c);
    }
    return body;
}

}  // namespace qm
