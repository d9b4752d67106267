// Runs a test body once per instruction set that is compiled in and supported here, each
// made the run-time dispatch choice in turn, and checks that the kernel reports it.
#pragma once

#include <gtest/gtest.h>
#include <hwy/targets.h>

namespace quorix::test {

// `targetName` is the kernel's own report of the path it dispatched to ("portable" where
// the instruction set has no real vectors).
template <class Body>
void ForEachTarget(const char* (*targetName)(), const Body& body) {
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        SCOPED_TRACE(hwy::TargetName(target));
        const bool portable = target == HWY_EMU128 || target == HWY_SCALAR;
        EXPECT_STREQ(targetName(), portable ? "portable" : hwy::TargetName(target));
        body();
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace quorix::test
