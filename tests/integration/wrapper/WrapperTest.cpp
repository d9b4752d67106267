// quorix.hpp as an application uses it: the public headers and the shared library against
// simulated cameras in processes of their own, one loopback address 127.0.96.N per test.
// Owners release exactly once, errors name call and status, frames are views of the mode's
// size whose copies outlive them, and callbacks end with their registrations.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CamsimProcess.h"
#include "quorix/quorix.hpp"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using quorix::test::CamsimProcess;
using quorix::test::WaitFor;

// Runs `action`, which must throw a quorix::Error of `status` naming `call` first.
void ExpectError(const std::function<void()>& action, NsReturnStatus status,
                 const std::string& call) {
    try {
        action();
        ADD_FAILURE() << "no error; expected " << call << " " << status;
    } catch (const quorix::Error& e) {
        EXPECT_EQ(e.status(), status) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind(call + ": ", 0), 0u) << e.what();
    }
}

NsDiscoveryStatus DiscoveryStatus() {
    NsDiscoveryState state{};
    EXPECT_EQ(Ns2_GetDiscoveryState(&state), NsStatusOk);
    return state.status;
}

TEST(WrapperErrors, CarryTheCallTheStatusAndItsTexts) {
    const quorix::Error e("Ns2_SetDepthRange", NsStatusBadDepthRange);
    EXPECT_EQ(e.status(), NsStatusBadDepthRange);
    EXPECT_EQ(std::string(e.what()),
              std::string("Ns2_SetDepthRange: NsStatusBadDepthRange (-10): ") +
                  Ns2_GetStatusText(NsStatusBadDepthRange));
    const std::string detailed = quorix::Error("x", NsStatusBadParameter, "300 too big").what();
    EXPECT_EQ(detailed.substr(detailed.size() - 14), " (300 too big)");

    // A timeout is told apart from a failure; only taking the value throws.
    const quorix::Result<int> timeout("Ns2_ReadNextFrame", NsStatusFrameTimeout);
    const quorix::Result<int> failure("Ns2_ReadNextFrame", NsStatusNotStreaming);
    EXPECT_FALSE(timeout);
    EXPECT_TRUE(timeout.timed_out());
    EXPECT_FALSE(failure.timed_out());
    ExpectError([&] { (void)failure.value(); }, NsStatusNotStreaming, "Ns2_ReadNextFrame");
    EXPECT_EQ(quorix::Result<int>(7).value(), 7);
}

TEST(WrapperLibrary, ShutsDownOnceThroughItsLastOwner) {
    {
        quorix::Library first;
        ExpectError([] { quorix::Library second; }, NsStatusReinitialised, "Ns2_Initialize");
        EXPECT_NE(first.discovery_state().status, NsDiscoveryOff) << "the refused one shut down";
        { quorix::Library moved(std::move(first)); }
        EXPECT_EQ(DiscoveryStatus(), NsDiscoveryOff);
        // A library of someone else, which the moved-from owner must leave alone.
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    }
    EXPECT_NE(DiscoveryStatus(), NsDiscoveryOff);
    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
}

class WrapperCamera : public ::testing::Test {
protected:
    void SetUp() override { m_library.emplace(); }

    // Starts a camera on 127.0.96.n and waits until the library lists it.
    CamsimProcess& Start(int n, const std::string& serial, std::vector<std::string> extra = {}) {
        m_cameras.push_back(std::make_unique<CamsimProcess>("127.0.96." + std::to_string(n), serial,
                                                            std::move(extra)));
        CamsimProcess& camera = *m_cameras.back();
        EXPECT_TRUE(m_library->wait_for(camera.uri(), 20s)) << camera.Output();
        return camera;
    }

    // Reads until a set with all of `wanted` (depth, IR, colour) arrives.
    static quorix::FrameSet ReadSet(quorix::Session s, bool ir = false, bool colour = false) {
        for (int i = 0; i < 100; ++i) {
            quorix::Result<quorix::FrameSet> r = s.try_read();
            if (r.timed_out()) {
                continue;
            }
            const quorix::FrameSet& set = r.value();
            if (set.depth() && (!ir || set.ir()) && (!colour || set.colour())) {
                return set;
            }
        }
        ADD_FAILURE() << "no set with depth" << (ir ? ", IR" : "") << (colour ? ", colour" : "")
                      << " in 100 reads";
        return {};
    }

    std::vector<std::unique_ptr<CamsimProcess>> m_cameras;  // first: they end after the library
    std::optional<quorix::Library> m_library;
};

TEST_F(WrapperCamera, ListsCamerasAndWaitsForThemByUriOrAlias) {
    const CamsimProcess& camera = Start(2, "QXW-LIST", {"--sessions", "2", "--alias", "left"});
    const std::optional<quorix::DeviceInfo> info = m_library->wait_for(camera.uri(), 1s);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->alias, "left");
    EXPECT_EQ(info->type, static_cast<NsDeviceType>(TK5P));
    EXPECT_EQ(info->sessions, 2u);
    EXPECT_EQ(info->status, static_cast<NsConnectStatus>(Connected));
    const std::optional<quorix::DeviceInfo> byAlias = m_library->wait_for("left", 1s);
    ASSERT_TRUE(byAlias);
    EXPECT_EQ(byAlias->uri, camera.uri());
    EXPECT_FALSE(m_library->wait_for("TK5P:NOBODY", 100ms));

    const quorix::Device device = quorix::Device::open_alias("left");
    // Only this test's camera is looked at: others may announce on the machine's network.
    const std::vector<quorix::DeviceInfo> list = m_library->devices();
    const auto ours = std::find_if(list.begin(), list.end(), [&](const quorix::DeviceInfo& d) {
        return d.uri == camera.uri();
    });
    ASSERT_NE(ours, list.end());
    EXPECT_EQ(ours->status, static_cast<NsConnectStatus>(Opened));
}

TEST_F(WrapperCamera, DeviceClosesOnceThroughItsLastOwner) {
    const CamsimProcess& camera = Start(3, "QXW-OPEN");
    quorix::Device first = quorix::Device::open(camera.uri());
    const NsDeviceHandle raw = first.handle();
    ExpectError([&] { quorix::Device::open(camera.uri()); }, NsStatusAlreadyOpened,
                "Ns2_OpenDevice");
    {
        quorix::Device moved(std::move(first));
        quorix::Device assigned;
        assigned = std::move(moved);
        EXPECT_FALSE(first);
        EXPECT_FALSE(moved);
        EXPECT_EQ(assigned.handle(), raw);
        EXPECT_EQ(assigned.session(0).frame_mode(DepthFrame).resolutionWidth, 640u);
    }
    // Closed (a session of it says so), so it opens again once announced again.
    const quorix::Session stale(raw, 0);
    ExpectError([&] { (void)stale.depth_range(); }, NsStatusBadHandle, "Ns2_GetDepthRange");
    ASSERT_TRUE(m_library->wait_for(camera.uri(), 20s));
    const quorix::Device again = quorix::Device::open(camera.uri());
    ExpectError([] { quorix::Device::open("TK5P:NOBODY"); }, NsStatusOpenFailed, "Ns2_OpenDevice");
}

TEST_F(WrapperCamera, RefusedSettingsThrowTheirStatusAndChangeNothing) {
    const CamsimProcess& camera = Start(4, "QXW-SET");
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    const uint8_t fps = s.frame_rate();
    const uint32_t range = s.depth_range();
    ExpectError([&] { s.set_frame_rate(200); }, NsStatusBadParameter, "Ns2_SetTofFrameRate");
    // 300 would arrive as 44 in the C call's byte.
    ExpectError([&] { s.set_frame_rate(300); }, NsStatusBadParameter, "Ns2_SetTofFrameRate");
    ExpectError([&] { s.set_depth_range(9); }, NsStatusBadDepthRange, "Ns2_SetDepthRange");
    ExpectError([&] { s.set_read_timeout(70s); }, NsStatusBadParameter,
                "Ns2_SetWaitTimeOfReadNextFrame");
    EXPECT_EQ(s.frame_rate(), fps);
    EXPECT_EQ(s.depth_range(), range);

    s.set_frame_rate(15);
    s.set_threshold(37);
    EXPECT_EQ(s.frame_rate(), 15);
    EXPECT_EQ(s.threshold(), 37);
}

TEST_F(WrapperCamera, EachSwitchTurnsItselfAndNoOtherOne) {
    const CamsimProcess& camera = Start(5, "QXW-SWITCH");
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    using quorix::Switch;
    const Switch all[] = {Switch::time_filter,
                          Switch::spatial_filter,
                          Switch::smoothing_filter,
                          Switch::compute_real_depth_correction,
                          Switch::depth_distortion_correction,
                          Switch::ir_distortion_correction,
                          Switch::rgb_distortion_correction,
                          Switch::rgb_correction,
                          Switch::mapper_depth_to_rgb,
                          Switch::mapper_rgb_to_depth,
                          Switch::mapper_rgb_to_ir,
                          Switch::synchronize};
    const auto states = [&] {
        std::vector<bool> on;
        for (Switch w : all) {
            on.push_back(s.enabled(w));
        }
        return on;
    };
    for (size_t i = 0; i < std::size(all); ++i) {
        std::vector<bool> expected = states();
        expected[i] = !expected[i];
        s.enable(all[i], expected[i]);
        EXPECT_EQ(states(), expected) << "switch " << i;
    }
}

TEST_F(WrapperCamera, StreamsDepthIrAndColourOfTheFrameModesSize) {
    const CamsimProcess& camera = Start(6, "QXW-STREAM", {"--data-mode", "2"});
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    const quorix::Stream stream = s.stream();
    const quorix::FrameSet set = ReadSet(s, true, true);
    for (const quorix::Frame* f : {&set.depth(), &set.ir(), &set.colour()}) {
        SCOPED_TRACE("frame type " + std::to_string(f->type()));
        ASSERT_TRUE(*f);
        const NsFrameMode mode = s.frame_mode(f->type());
        EXPECT_EQ(f->width(), mode.resolutionWidth);
        EXPECT_EQ(f->height(), mode.resolutionHeight);
        EXPECT_EQ(f->pixel_format(), mode.pixelFormat);
        const size_t bytesPerPixel = f->type() == RGBFrame ? 3 : 2;
        EXPECT_EQ(f->bytes().size(), size_t{f->width()} * f->height() * bytesPerPixel);
        EXPECT_EQ(f->index(), set.depth().index());
        EXPECT_TRUE(f->time());
    }
    EXPECT_EQ(set.depth().pixel_format(), static_cast<NsPixelFormat>(NsPixelDepth16));
    EXPECT_EQ(set.depth().pixels16().size(), size_t{set.depth().width()} * set.depth().height());
    EXPECT_EQ(set.depth().depth_range(), s.depth_range());
    ExpectError([&] { set.colour().pixels16(); }, NsStatusBadFrameType, "quorix::Frame::pixels16");
}

TEST_F(WrapperCamera, ACopyKeepsItsPixelsBeyondReadsAndClose) {
    const CamsimProcess& camera = Start(7, "QXW-COPY");
    quorix::Frame kept;
    std::vector<uint8_t> seen;
    {
        const quorix::Device device = quorix::Device::open(camera.uri());
        quorix::Session s = device.session(0);
        const quorix::Stream stream = s.stream();
        const quorix::FrameSet first = ReadSet(s);
        const quorix::Frame& view = first.depth();
        seen.assign(view.bytes().begin(), view.bytes().end());
        kept = view.copy();
        EXPECT_TRUE(kept.owns_pixels());
        EXPECT_NE(kept.bytes().data(), view.bytes().data());
        // Later captures differ (each carries its index in its pixels).
        for (int i = 0; i < 5; ++i) {
            ASSERT_NE(ReadSet(s).depth().index(), kept.index());
        }
    }
    EXPECT_EQ(kept.width(), 640);
    ASSERT_EQ(kept.bytes().size(), seen.size());
    EXPECT_EQ(std::memcmp(kept.bytes().data(), seen.data(), seen.size()), 0);
    EXPECT_EQ(kept.copy().bytes().size(), seen.size());
}

TEST_F(WrapperCamera, PointsAreThoseOfThePixelsWithDepth) {
    const CamsimProcess& camera = Start(8, "QXW-POINTS");
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    const quorix::Stream stream = s.stream();
    const quorix::FrameSet set = ReadSet(s, false, true);
    const quorix::span<const uint16_t> mm = set.depth().pixels16();
    const std::vector<NsVector3f> grid = s.point_grid(set.depth());
    const std::vector<NsVector3f> points = s.points(set.depth());
    ASSERT_EQ(grid.size(), mm.size());
    std::vector<float> depths;
    for (size_t i = 0; i < mm.size(); ++i) {
        if (quorix::valid_depth(mm[i])) {
            depths.push_back(mm[i]);
        } else {
            EXPECT_EQ(grid[i].z, 0.0f);
        }
    }
    ASSERT_EQ(points.size(), depths.size());
    ASSERT_FALSE(points.empty());
    for (size_t i = 0; i < points.size(); ++i) {
        ASSERT_EQ(points[i].z, depths[i]) << "point " << i;
    }
    ExpectError([&] { s.points(set.colour()); }, NsStatusBadFrameType,
                "quorix::Session::point_grid");
}

TEST_F(WrapperCamera, AFrameCallbackGetsSetsUntilItsRegistrationGoes) {
    const CamsimProcess& camera = Start(9, "QXW-CALLBACK");
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    const quorix::Stream stream = s.stream();
    std::atomic<int> sets{0};
    std::atomic<int> late{0};
    std::atomic<bool> gone{false};
    std::atomic<int> wrongSize{0};
    {
        quorix::Registration first = s.on_frames([&](const quorix::FrameSet& f) {
            late += gone ? 1 : 0;
            wrongSize += f.depth() && f.depth().width() != 640 ? 1 : 0;
            ++sets;
        });
        ExpectError([&] { s.on_frames([](const quorix::FrameSet&) {}); }, NsStatusFailed,
                    "quorix::Session::on_frames");
        ASSERT_TRUE(WaitFor([&] { return sets >= 3; }, 20s));
        EXPECT_EQ(s.try_read().status(), NsStatusFailed);  // frames go to the callback

        quorix::Registration moved = std::move(first);
        first.reset();  // holds nothing: the callback goes on
        const int before = sets;
        EXPECT_TRUE(moved.active());
        ASSERT_TRUE(WaitFor([&] { return sets >= before + 3; }, 20s));
    }
    gone = true;
    // Reading works again, and sets keep coming without a call.
    ReadSet(s);
    ReadSet(s);
    EXPECT_EQ(late, 0);
    EXPECT_EQ(wrongSize, 0);
}

TEST_F(WrapperCamera, ACallbackMayEndItsOwnRegistration) {
    const CamsimProcess& camera = Start(10, "QXW-SELF");
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    const quorix::Stream stream = s.stream();
    std::atomic<bool> armed{false};
    std::atomic<bool> ended{false};
    std::atomic<int> calls{0};
    quorix::Registration registration;
    registration = s.on_frames([&](const quorix::FrameSet&) {
        if (armed) {
            ++calls;
            registration.reset();
            ended = true;
        }
    });
    armed = true;
    ASSERT_TRUE(WaitFor([&] { return ended.load(); }, 20s));
    ReadSet(s);
    ReadSet(s);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(registration.active());
}

TEST_F(WrapperCamera, ClosingTheDeviceEndsItsCallbacksAndLeavesTheirRegistrationsInert) {
    const CamsimProcess& camera = Start(11, "QXW-CLOSE");
    std::atomic<int> oldSets{0};
    std::atomic<int> newSets{0};
    quorix::Registration old;
    {
        quorix::Device device = quorix::Device::open(camera.uri());
        device.session(0).start();
        old = device.session(0).on_frames([&](const quorix::FrameSet&) { ++oldSets; });
        ASSERT_TRUE(WaitFor([&] { return oldSets >= 1; }, 20s));
    }
    EXPECT_FALSE(old.active());
    // The next device may get the same handle value: the old registration must not end
    // the new one's callback.
    ASSERT_TRUE(m_library->wait_for(camera.uri(), 20s));
    const quorix::Device device = quorix::Device::open(camera.uri());
    quorix::Session s = device.session(0);
    const quorix::Stream stream = s.stream();
    const quorix::Registration fresh = s.on_frames([&](const quorix::FrameSet&) { ++newSets; });
    old.reset();
    const int before = newSets;
    EXPECT_TRUE(WaitFor([&] { return newSets >= before + 3; }, 20s));
}

TEST_F(WrapperCamera, HotPlugReportsCamerasThatComeAndGo) {
    std::mutex lock;
    std::set<std::pair<std::string, quorix::HotPlug>> events;
    const auto seen = [&](const std::string& uri, quorix::HotPlug event) {
        std::lock_guard<std::mutex> guard(lock);
        return events.count({uri, event}) > 0;
    };
    quorix::Registration registration =
        m_library->on_hotplug([&](const quorix::DeviceInfo& d, quorix::HotPlug event) {
            std::lock_guard<std::mutex> guard(lock);
            events.insert({d.uri, event});
        });
    ExpectError([&] { m_library->on_hotplug([](const quorix::DeviceInfo&, quorix::HotPlug) {}); },
                NsStatusFailed, "quorix::Library::on_hotplug");
    CamsimProcess& camera = Start(12, "QXW-HOTPLUG");
    EXPECT_TRUE(WaitFor([&] { return seen(camera.uri(), quorix::HotPlug::added); }, 20s));
    camera.Stop();
    EXPECT_TRUE(WaitFor([&] { return seen(camera.uri(), quorix::HotPlug::removed); }, 20s));

    registration.reset();
    registration = m_library->on_hotplug([](const quorix::DeviceInfo&, quorix::HotPlug) {});
    m_library.reset();  // ends every registration
    EXPECT_FALSE(registration.active());
}

}  // namespace
