#pragma once
// The effect the drop target answers for a drag over the page.
#include <cstdint>

namespace qm {

inline constexpr std::uint32_t kDropEffectNone = 0;
inline constexpr std::uint32_t kDropEffectCopy = 1;
inline constexpr std::uint32_t kDropEffectMove = 2;
inline constexpr std::uint32_t kDropEffectLink = 4;
inline constexpr std::uint32_t kKeyShift = 4;
inline constexpr std::uint32_t kKeyControl = 8;

// From the effects the source offers and the key state: Control asks for copy, Shift for move, both for link
// (always refused); no key takes the first offered of copy, move, link.
std::uint32_t ChooseDropEffect(std::uint32_t offered, std::uint32_t keyState);

}  // namespace qm
