#pragma once
// Where the file store is: the host and port that served the page, and the request flags that go with its scheme.
#include <cstdint>
#include <string>

namespace qm {

inline constexpr std::uint32_t kRequestFlagsHttp = 0xA4400000;   // reload, existing connect, no cache write, keep alive
inline constexpr std::uint32_t kRequestFlagsHttps = 0xA4C00000;  // the same plus secure

struct ServerLocation {
    std::wstring ServerName;
    std::uint16_t ServerPort = 0;
    std::uint32_t RequestFlags = kRequestFlagsHttp;
};

// Splits the page's address. Throws qm::Error for an address with no usable host part or a bad port.
// A scheme other than http and https counts as not secure and has no default port (the port stays 0).
ServerLocation ParsePageLocation(const std::wstring& href);

}  // namespace qm
