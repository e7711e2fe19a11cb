#pragma once
// Test data: n bytes of a repeating pattern, for files and replies whose content only has to survive the trip.
#include <cstddef>
#include <string>

namespace qm::testing {

inline std::string Bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

}  // namespace qm::testing
