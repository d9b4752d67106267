// Routing of the composite USB protocols: every operation of the interface, called through
// the composite, reaches the inner protocol that the routing tables below name, by position.
// The tables are written out here as ranges, independently of the library's own.
#include "protocol/CompositeProtocol.h"
#include "protocol/UsbProtocol.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "support/ProtocolCalls.h"

namespace quorix {
namespace {

enum Expect { kOwn, kUvc, kHid, kNone, kFail };

struct Span {
    uint32_t first;
    uint32_t last;
    Expect where;
};

std::map<uint32_t, Expect> Expand(std::initializer_list<Span> spans) {
    std::map<uint32_t, Expect> out;
    for (const Span& s : spans) {
        for (uint32_t p = s.first; p <= s.last; ++p) {
            EXPECT_TRUE(out.emplace(p, s.where).second) << "position " << p << " twice";
        }
    }
    return out;
}

const std::map<uint32_t, Expect> kUsbExpected = Expand({
    {1, 2, kOwn},
    {3, 84, kUvc},
    {85, 89, kNone},
    {90, 91, kUvc},
    {92, 92, kHid},
    {93, 93, kNone},
    {94, 97, kHid},
    {98, 99, kNone},
    {100, 101, kHid},
    {102, 113, kUvc},
});

const std::map<uint32_t, Expect> kTk1aExpected = Expand({
    {1, 2, kOwn},     {3, 21, kUvc},    {22, 24, kHid},    {25, 26, kUvc},   {27, 28, kOwn},
    {29, 61, kUvc},   {62, 62, kOwn},   {63, 82, kUvc},    {83, 83, kFail},  {84, 84, kUvc},
    {85, 89, kHid},   {90, 91, kOwn},   {92, 92, kHid},    {93, 93, kNone},  {94, 96, kHid},
    {97, 103, kNone}, {104, 104, kUvc}, {105, 108, kNone}, {109, 109, kUvc}, {110, 111, kNone},
    {112, 113, kUvc},
});

// An inner protocol that notes the position of every operation it receives.
template <class Base>
class RecorderOf : public Base {
public:
    using Base::Base;
    std::vector<uint32_t> calls;
#define QUORIX_RECORD(position, name, params, args, ...) \
    int32_t name params override {                       \
        detail::Unused args;                             \
        calls.push_back(position);                       \
        return 0;                                        \
    }
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_RECORD)
#undef QUORIX_RECORD
};
using Recorder = RecorderOf<BaseProtocol>;
// The TK1A composite needs a HID protocol for its own operations.
using HidRecorder = RecorderOf<HidProtocol>;

// Calls every operation through the composite `make` builds and checks where it went. The
// bare template refuses its OWN operations; the concrete classes (`concrete`) write them,
// and their own tests below check what they do.
template <class Make>
void ExpectRouting(const std::map<uint32_t, Expect>& expected, Make make, bool concrete) {
    auto uvc = std::make_unique<Recorder>();
    auto hid = std::make_unique<HidRecorder>("");
    Recorder& u = *uvc;
    HidRecorder& h = *hid;
    const std::unique_ptr<BaseProtocol> composite = make(std::move(uvc), std::move(hid));
    ASSERT_EQ(expected.size(), kOperationCount);

    auto check = [&](uint32_t position, int32_t result) {
        SCOPED_TRACE("position " + std::to_string(position));
        const Expect where = expected.at(position);
        if (concrete && where == kOwn) {
            return;
        }
        const bool toUvc = !u.calls.empty() && u.calls.back() == position;
        const bool toHid = !h.calls.empty() && h.calls.back() == position;
        EXPECT_EQ(toUvc, where == kUvc);
        EXPECT_EQ(toHid, where == kHid);
        switch (where) {
            case kUvc:
            case kHid:
                EXPECT_EQ(result, 0);
                break;
            case kFail:
                EXPECT_EQ(result, -1);
                break;
            case kNone:
            case kOwn:  // not written by this bare composite: the default refusal
                EXPECT_EQ(result, kStatusNotSupported);
                break;
        }
    };
#define QUORIX_CALL(position, name, ...) \
    check(position, test::CallWithDefaults(*composite, &BaseProtocol::name));
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_CALL)
#undef QUORIX_CALL
    if (concrete) {
        return;  // their own operations reach the inner protocols too
    }
    // Each inner protocol received exactly its operations, each once.
    size_t uvcCount = 0;
    size_t hidCount = 0;
    for (const auto& [position, where] : expected) {
        uvcCount += where == kUvc ? 1 : 0;
        hidCount += where == kHid ? 1 : 0;
    }
    EXPECT_EQ(u.calls.size(), uvcCount);
    EXPECT_EQ(h.calls.size(), hidCount);
}

template <Composite Kind>
void ExpectRouting(const std::map<uint32_t, Expect>& expected) {
    ExpectRouting(
        expected,
        [](std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<BaseProtocol> hid) {
            return std::make_unique<CompositeProtocol<Kind>>(std::move(uvc), std::move(hid));
        },
        false);
}

TEST(CompositeProtocolTest, UsbProtocolRoutesEveryPosition) {
    ExpectRouting<Composite::kUsb>(kUsbExpected);
}

TEST(CompositeProtocolTest, Tk1aProtocolRoutesEveryPosition) {
    ExpectRouting<Composite::kTk1a>(kTk1aExpected);
}

TEST(CompositeProtocolTest, ConcreteCompositesRouteEveryPositionTheyDoNotOwn) {
    ExpectRouting(
        kUsbExpected,
        [](std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<HidProtocol> hid) {
            return std::make_unique<UsbProtocol>(std::move(uvc), std::move(hid));
        },
        true);
    ExpectRouting(
        kTk1aExpected,
        [](std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<HidProtocol> hid) {
            return std::make_unique<TK1A_Protocol>(std::move(uvc), std::move(hid));
        },
        true);
}

}  // namespace
}  // namespace quorix
