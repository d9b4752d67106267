// The depth and IR filters end to end against the noisy simulated camera: with every
// switch off the frames are the noisy capture decoded exactly; with smoothing, spatial and
// time filters on, the error on flat surfaces against the scene's truth falls to less than
// half; switched off again, frames are exact again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/DepthDecodeTable.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/Noise.h"
#include "sim/Scene.h"
#include "sim/SimCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using Image = std::vector<uint16_t>;

class FiltersSim : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDataHomeForTesting(m_home.Path());
        ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
        sim::SimConfig config;
        config.address = "127.0.103.1";
        config.serial = "QXFILT1";
        m_camera = std::make_unique<sim::SimCamera>(config);
        m_camera->UpdateState([&](sim::SimState& s) {
            s.sensors[0].dataMode = 2;  // depth and IR
            s.stream.noise.enabled = true;
            s.stream.noise.seed = 21;
        });
        ASSERT_EQ(m_camera->Start(), 0);
        const std::string uri = "TK5P:QXFILT1";
        ASSERT_TRUE(test::WaitFor([&] { return test::IsListed(uri); }, 10s)) << uri;
        ASSERT_EQ(Ns2_OpenDevice(uri.c_str(), &m_handle), NsStatusOk);
        ASSERT_EQ(Ns2_StartStream(m_handle, 0), NsStatusOk);
    }
    void TearDown() override {
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
        }
        EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
        m_camera.reset();
        log::SetDataHomeForTesting("");
    }

    // The next set with depth and IR; false after 100 reads.
    bool ReadSet(Image& depth, Image& ir, uint32_t& range) {
        for (int i = 0; i < 100; ++i) {
            uint32_t ready = 0;
            const uint32_t both = NsFrameReadyDepth | NsFrameReadyIR;
            if (Ns2_ReadNextFrame(m_handle, 0, &ready) != NsStatusOk || (ready & both) != both) {
                continue;
            }
            NsFrame d{}, r{};
            if (Ns2_GetFrame(m_handle, 0, DepthFrame, &d) != NsStatusOk ||
                Ns2_GetFrame(m_handle, 0, IRFrame, &r) != NsStatusOk) {
                continue;
            }
            const auto* dp = static_cast<const uint16_t*>(d.pFrameData);
            const auto* rp = static_cast<const uint16_t*>(r.pFrameData);
            depth.assign(dp, dp + size_t{d.width} * d.height);
            ir.assign(rp, rp + size_t{r.width} * r.height);
            range = d.depthRange;
            return depth.size() == sim::kSceneWidth * sim::kSceneHeight;
        }
        return false;
    }

    std::vector<uint16_t> Table(uint32_t range) const {
        const sim::RangeLimits l = sim::LimitsOfRange(m_camera->State().sensors[0], range);
        std::vector<uint16_t> table(kDepthTableEntries);
        DepthLut lut;
        EXPECT_TRUE(BuildDepthDecodeTable(
            {l.depthMax, l.effectDepthMax, l.effectDepthMin, l.offset}, table.data(), &lut));
        return table;
    }

    // What the camera sent for capture `k`, decoded: depth through `table`, IR as it is.
    void Sent(uint32_t k, const std::vector<uint16_t>& table, Image& depth, Image& ir) const {
        const sim::NoiseSettings noise = m_camera->State().stream.noise;
        const Image clean = sim::SceneDepthCodes(k);
        const Image cleanIr = sim::SceneIrCodes(k);
        Image codes(clean.size());
        ir.resize(clean.size());
        sim::AddDepthNoise(clean.data(), codes.data(), sim::kSceneWidth, sim::kSceneHeight, k,
                           noise);
        sim::AddIrNoise(cleanIr.data(), ir.data(), sim::kSceneWidth, sim::kSceneHeight, k, noise);
        depth.resize(codes.size());
        for (size_t i = 0; i < codes.size(); ++i) {
            depth[i] = table[codes[i]];
        }
    }

    // True when `depth` and `ir` are exactly the decoded noisy capture their stamp names.
    bool Exact(const Image& depth, const Image& ir, uint32_t range) const {
        const auto table = Table(range);
        const uint32_t k = sim::ReadFrameStamp(depth.data(), table[sim::kStampDepthOne]);
        Image wantDepth, wantIr;
        Sent(k, table, wantDepth, wantIr);
        return depth == wantDepth && ir == wantIr;
    }

    test::TempDir m_home;
    std::unique_ptr<sim::SimCamera> m_camera;
    NsDeviceHandle m_handle = nullptr;
};

TEST_F(FiltersSim, OffTheFramesAreExactOnTheErrorFallsAndOffAgainExact) {
    Image depth, ir;
    uint32_t range = 0;
    ASSERT_TRUE(ReadSet(depth, ir, range));
    EXPECT_TRUE(Exact(depth, ir, range)) << "with every switch off a frame is left as decoded";

    const auto table = Table(range);
    const uint32_t k = sim::ReadFrameStamp(depth.data(), table[sim::kStampDepthOne]);
    Image truth(depth.size());
    const Image clean = sim::SceneDepthCodes(k);
    for (size_t i = 0; i < clean.size(); ++i) {
        truth[i] = table[clean[i]];
    }
    const auto flat = sim::StillFlatMask();  // the same truth in every capture
    const sim::ErrorStats noisy = sim::ErrorOver(depth.data(), truth.data(), flat);

    ASSERT_EQ(Ns2_SetSmoothingFilterEnabled(m_handle, 0, 1), NsStatusOk);
    ASSERT_EQ(Ns2_SetSpatialFilterEnabled(m_handle, 0, 1), NsStatusOk);
    ASSERT_EQ(Ns2_SetTimeFilterEnabled(m_handle, 0, 1), NsStatusOk);
    for (int i = 0; i < 15; ++i) {
        ASSERT_TRUE(ReadSet(depth, ir, range));
    }
    const sim::ErrorStats filtered = sim::ErrorOver(depth.data(), truth.data(), flat);
    std::printf("flat rms through the camera: %.2f mm off, %.2f mm with the three filters on\n",
                noisy.rms, filtered.rms);
    EXPECT_LT(filtered.rms * 2, noisy.rms);
    EXPECT_EQ(filtered.invented, 0u);

    ASSERT_EQ(Ns2_SetSmoothingFilterEnabled(m_handle, 0, 0), NsStatusOk);
    ASSERT_EQ(Ns2_SetSpatialFilterEnabled(m_handle, 0, 0), NsStatusOk);
    ASSERT_EQ(Ns2_SetTimeFilterEnabled(m_handle, 0, 0), NsStatusOk);
    // Frames decoded before the switches changed may still be queued.
    bool exact = false;
    for (int i = 0; i < 20 && !exact; ++i) {
        ASSERT_TRUE(ReadSet(depth, ir, range));
        exact = Exact(depth, ir, range);
    }
    EXPECT_TRUE(exact) << "switched off, frames are left as decoded again";
}

}  // namespace
}  // namespace quorix
