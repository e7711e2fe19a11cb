#pragma once
// State of one control object that needs no platform: server location, flags and safety options.
#include <cstdint>
#include <string>

namespace qm {

inline constexpr std::uint32_t kInterfaceSafeForUntrustedCaller = 1;

// The object's current safety options: bits named in the mask take their value from the enabled set.
class SafetyOptions {
public:
    std::uint32_t Supported() const { return kInterfaceSafeForUntrustedCaller; }
    std::uint32_t Enabled() const { return enabled_; }
    void Set(std::uint32_t mask, std::uint32_t enabled) { enabled_ = (enabled_ & ~mask) | (enabled & mask); }

private:
    std::uint32_t enabled_ = 0;
};

}  // namespace qm
