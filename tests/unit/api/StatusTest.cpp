#include "api/Status.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

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

// Every public code has its enumerator's own name and a text of one line; a code outside
// the set is named as unknown, never null.
TEST(StatusTexts, EveryPublicCodeHasItsEnumeratorNameAndOneLine) {
#define QUORIX_STATUS_ROW(code) \
    { code, #code }
    const std::pair<NsReturnStatus, std::string> enumerators[] = {
        QUORIX_STATUS_ROW(NsStatusOk),
        QUORIX_STATUS_ROW(NsStatusFailed),
        QUORIX_STATUS_ROW(NsStatusNotStreaming),
        QUORIX_STATUS_ROW(NsStatusBadHandle),
        QUORIX_STATUS_ROW(NsStatusBadFrameType),
        QUORIX_STATUS_ROW(NsStatusNullFrame),
        QUORIX_STATUS_ROW(NsStatusNoPropertyGet),
        QUORIX_STATUS_ROW(NsStatusNoPropertySet),
        QUORIX_STATUS_ROW(NsStatusNullProperty),
        QUORIX_STATUS_ROW(NsStatusLowerLayer),
        QUORIX_STATUS_ROW(NsStatusBadDepthRange),
        QUORIX_STATUS_ROW(NsStatusFrameTimeout),
        QUORIX_STATUS_ROW(NsStatusNullPointer),
        QUORIX_STATUS_ROW(NsStatusOpenFailed),
        QUORIX_STATUS_ROW(NsStatusBadSensorType),
        QUORIX_STATUS_ROW(NsStatusBadParameter),
        QUORIX_STATUS_ROW(NsStatusUpgradeNotReady),
        QUORIX_STATUS_ROW(NsStatusUpgradeRejected),
        QUORIX_STATUS_ROW(NsStatusPathTooLong),
        QUORIX_STATUS_ROW(NsStatusUpgradeUnsupported),
        QUORIX_STATUS_ROW(NsStatusReinitialised),
        QUORIX_STATUS_ROW(NsStatusNotInitialised),
        QUORIX_STATUS_ROW(NsStatusAlreadyOpened),
        QUORIX_STATUS_ROW(NsStatusTransferError),
        QUORIX_STATUS_ROW(NsStatusNotConfirmed),
        QUORIX_STATUS_ROW(NsStatusOther),
    };
#undef QUORIX_STATUS_ROW
    std::set<NsReturnStatus> named;
    std::set<std::string> texts;
    for (const auto& [code, name] : enumerators) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Ns2_GetStatusName(code), name);
        const std::string text = Ns2_GetStatusText(code);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_LT(text.size(), 160u);
        texts.insert(text);
        named.insert(code);
    }
    EXPECT_EQ(texts.size(), std::size(enumerators));  // no two codes read alike
    // The public set is exactly what InterRet2ExternRet passes, plus -255.
    for (int32_t code = -300; code <= 5; ++code) {
        const bool isPublic = code == NsStatusOther || InterRet2ExternRet(code) == code;
        EXPECT_EQ(named.count(code) == 1, isPublic) << code;
        if (!isPublic) {
            EXPECT_STREQ(Ns2_GetStatusName(code), "NsStatusUnknown") << code;
            EXPECT_STREQ(Ns2_GetStatusText(code), "not a status code of this library") << code;
        }
    }
}

}  // namespace
}  // namespace quorix
