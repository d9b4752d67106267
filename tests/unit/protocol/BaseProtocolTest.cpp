// The defaults of BaseProtocol, made from the operation table: every operation refuses with
// -255 and says in the log which one it was.
#include "protocol/BaseProtocol.h"

#include <gtest/gtest.h>

#include <string>

#include "log/Log.h"
#include "support/ProtocolCalls.h"

namespace quorix {
namespace {

TEST(BaseProtocolTest, EveryDefaultRefusesUnderItsOwnName) {
    BaseProtocol protocol;
    auto check = [&](const char* name, auto op) {
        SCOPED_TRACE(name);
        log::Capture capture;
        EXPECT_EQ(test::CallWithDefaults(protocol, op), kStatusNotSupported);
        EXPECT_EQ(capture.Count("Not Support."), 1u);
        EXPECT_TRUE(capture.Contains(std::string("BaseProtocol::") + name + "]:Not Support."));
    };
#define QUORIX_CHECK_DEFAULT(position, name, ...) check(#name, &BaseProtocol::name);
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_CHECK_DEFAULT)
#undef QUORIX_CHECK_DEFAULT
    EXPECT_FALSE(protocol.IsOpened());
}

}  // namespace
}  // namespace quorix
