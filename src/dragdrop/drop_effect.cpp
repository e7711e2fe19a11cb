#include "dragdrop/drop_effect.h"

#include <array>

namespace qm {

namespace {

struct EffectRule {
    bool control;
    bool shift;
    // Effects tried in order; the first one offered is answered. Empty: none.
    std::array<std::uint32_t, 3> candidates;
};

constexpr std::array<EffectRule, 4> kEffectRules = {{
    {true, true, {0, 0, 0}},
    {true, false, {kDropEffectCopy, 0, 0}},
    {false, true, {kDropEffectMove, 0, 0}},
    {false, false, {kDropEffectCopy, kDropEffectMove, kDropEffectLink}},
}};

}  // namespace

std::uint32_t ChooseDropEffect(std::uint32_t offered, std::uint32_t keyState) {
    const bool control = (keyState & kKeyControl) != 0;
    const bool shift = (keyState & kKeyShift) != 0;
    for (const auto& rule : kEffectRules) {
        if (rule.control != control || rule.shift != shift) continue;
        for (std::uint32_t effect : rule.candidates)
            if (effect != 0 && (offered & effect) != 0) return effect;
        return kDropEffectNone;
    }
    return kDropEffectNone;
}

}  // namespace qm
