#include "control/operation_gate.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(OperationScopeTest, SecondScopeInsideTheFirstIsRefusedAndTheGateReopensAfter) {
    EXPECT_FALSE(OperationScope::AnyRunning());
    {
        OperationScope outer;
        EXPECT_TRUE(outer.Entered());
        EXPECT_TRUE(OperationScope::AnyRunning());
        {
            OperationScope inner;
            EXPECT_FALSE(inner.Entered());
        }
        EXPECT_TRUE(OperationScope::AnyRunning()) << "a refused scope must not open the gate";
    }
    EXPECT_FALSE(OperationScope::AnyRunning());
    OperationScope again;
    EXPECT_TRUE(again.Entered());
}

}  // namespace
}  // namespace qm
