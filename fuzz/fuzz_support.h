#pragma once
// What every target shares: turning fuzz bytes into wide texts and fields, and failing loudly on a broken property.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sanitizer/common_interface_defs.h>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// A broken property is a crash, so libFuzzer keeps the input that shows it. The line goes where the
// sanitizers report, which stays open when libFuzzer closes the target's own output.
#define FUZZ_CHECK(cond)                                                                     \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            __sanitizer_report_error_summary("property failed: " #cond " at " __FILE__ ":" \
                                             FUZZ_LINE_TEXT(__LINE__));                      \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
#define FUZZ_LINE_TEXT(n) FUZZ_LINE_TEXT2(n)
#define FUZZ_LINE_TEXT2(n) #n

// Bytes as UTF-8 where they form a sequence (surrogates included, as Windows texts may hold them), any other
// byte as the character of the same value: plain-text seeds stay readable and every code point is reachable.
inline std::wstring Wide(std::string_view b) {
    std::wstring out;
    for (std::size_t i = 0; i < b.size();) {
        const auto c = static_cast<unsigned char>(b[i]);
        const int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        std::uint32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + len <= b.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto n = static_cast<unsigned char>(b[i + k]);
            ok = (n >> 6) == 2;
            cp = (cp << 6) | (n & 0x3F);
        }
        if (len == 1) cp = c;
        if (!ok || cp > 0x10FFFF) {
            out += static_cast<wchar_t>(c);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

// Fields of one input, separated by the byte 0xFF (never part of UTF-8, so every text stays reachable).
inline std::vector<std::string_view> Fields(const std::uint8_t* data, std::size_t size, std::size_t count) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        const std::size_t cut = rest.find('\xFF');
        if (cut == std::string_view::npos) break;
        out.push_back(rest.substr(0, cut));
        rest.remove_prefix(cut + 1);
    }
    out.push_back(rest);
    while (out.size() < count) out.emplace_back();
    return out;
}

inline std::uint32_t Number(std::string_view b) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < b.size() && i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[i]);
    return v;
}

// Wide text as UTF-8 (surrogates as their three-byte form) for comparing with the file store's UTF-8.
inline std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t w : text) {
        const auto c = static_cast<std::uint32_t>(w);
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

}  // namespace fuzz
