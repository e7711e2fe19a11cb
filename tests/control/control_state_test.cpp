#include "control/control_state.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(SafetyOptionsTest, StartsEmptyAndSupportsOnlyUntrustedCaller) {
    SafetyOptions options;
    EXPECT_EQ(options.Enabled(), 0u);
    EXPECT_EQ(options.Supported(), 1u);
}

TEST(SafetyOptionsTest, MaskedBitsTakeTheEnabledValueOthersStay) {
    SafetyOptions options;
    options.Set(1, 1);
    EXPECT_EQ(options.Enabled(), 1u);
    options.Set(1, 0);
    EXPECT_EQ(options.Enabled(), 0u);

    options.Set(0x6, 0x6);
    EXPECT_EQ(options.Enabled(), 0x6u);
    options.Set(1, 1);  // bits 2 and 4 are outside the mask
    EXPECT_EQ(options.Enabled(), 0x7u);
    options.Set(0x2, 0);
    EXPECT_EQ(options.Enabled(), 0x5u);
    // Enabled bits outside the mask are ignored.
    options.Set(0x8, 0xFFFFFFFFu);
    EXPECT_EQ(options.Enabled(), 0xDu);
    options.Set(0, 0);
    EXPECT_EQ(options.Enabled(), 0xDu);
    EXPECT_EQ(options.Supported(), 1u);
}

}  // namespace
}  // namespace qm
