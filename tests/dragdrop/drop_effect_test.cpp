#include "dragdrop/drop_effect.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

constexpr std::uint32_t kAll = kDropEffectCopy | kDropEffectMove | kDropEffectLink;

TEST(DropEffectTest, ControlAndShiftAskForALinkWhichIsAlwaysRefused) {
    EXPECT_EQ(ChooseDropEffect(kAll, kKeyControl | kKeyShift), kDropEffectNone);
    EXPECT_EQ(ChooseDropEffect(kDropEffectLink, kKeyControl | kKeyShift), kDropEffectNone);
}

TEST(DropEffectTest, ControlAsksForCopyAndShiftForMoveOnlyWhenOffered) {
    EXPECT_EQ(ChooseDropEffect(kAll, kKeyControl), kDropEffectCopy);
    EXPECT_EQ(ChooseDropEffect(kDropEffectMove | kDropEffectLink, kKeyControl), kDropEffectNone);
    EXPECT_EQ(ChooseDropEffect(kAll, kKeyShift), kDropEffectMove);
    EXPECT_EQ(ChooseDropEffect(kDropEffectCopy | kDropEffectLink, kKeyShift), kDropEffectNone);
}

TEST(DropEffectTest, NoKeyTakesCopyThenMoveThenLink) {
    EXPECT_EQ(ChooseDropEffect(kDropEffectCopy | kDropEffectMove, 0), kDropEffectCopy);
    EXPECT_EQ(ChooseDropEffect(kDropEffectMove | kDropEffectLink, 0), kDropEffectMove);
    EXPECT_EQ(ChooseDropEffect(kDropEffectLink, 0), kDropEffectLink);
    EXPECT_EQ(ChooseDropEffect(kDropEffectNone, 0), kDropEffectNone);
}

TEST(DropEffectTest, OtherKeyAndButtonBitsDoNotCount) {
    // Left button 1, right button 2, middle 16, Alt 32.
    EXPECT_EQ(ChooseDropEffect(kAll, 1 | 2 | 16 | 32), kDropEffectCopy);
    EXPECT_EQ(ChooseDropEffect(kAll, 1 | kKeyShift), kDropEffectMove);
}

}  // namespace
}  // namespace qm
