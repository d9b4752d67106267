#include "api/Status.h"

#include <gtest/gtest.h>

namespace quorix {
namespace {

TEST(InterRet2ExternRet, PublicCodesPassUnchangedWithoutALogLine) {
    log::Capture capture;
    for (int32_t code : {0, -1, -2, -12, -19, -101, -103, -105}) {
        EXPECT_EQ(InterRet2ExternRet(code), code);
    }
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(InterRet2ExternRet, EveryOtherCodeBecomesOtherWithOneLineEach) {
    for (int32_t code : {-20, -100, -106, 1, -255, 0x20015}) {
        log::Capture capture;
        EXPECT_EQ(InterRet2ExternRet(code), NsStatusOther);
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u) << code;
        EXPECT_NE(lines[0].find(":InterRet2ExternRet]:invalid param: interRet:" +
                                std::to_string(code) + "\n"),
                  std::string::npos)
            << lines[0];
    }
}

TEST(ResultForms, ZeroOrOtherAndTrueOrOther) {
    log::Capture capture;
    EXPECT_EQ(ZeroOrOther(0), 0);
    EXPECT_EQ(ZeroOrOther(-3), NsStatusOther);
    EXPECT_EQ(ZeroOrOther(1), NsStatusOther);
    EXPECT_EQ(TrueOrOther(true), 0);
    EXPECT_EQ(TrueOrOther(false), NsStatusOther);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(Firewall, AnExceptionBelowBecomesOtherWithALogLine) {
    log::Capture capture;
    EXPECT_EQ(Firewall("Ns2_Test", []() -> NsReturnStatus { throw std::runtime_error("boom"); }),
              NsStatusOther);
    EXPECT_TRUE(capture.Contains("Ns2_Test failed: boom"));
    EXPECT_EQ(Firewall("Ns2_Test", [] { return NsReturnStatus{-3}; }), -3);
}

}  // namespace
}  // namespace quorix
