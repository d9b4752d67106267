// The session's lifecycle against a scripted camera protocol: initialisation once per
// open, pushed parameters against the command read, the TK1A close sequence, the alive
// rule, confirmed settings, and frames and callbacks through the whole engine.
#include "session/BaseSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <string>
#include <thread>

#include "imgproc/ImgPreProcessImpl.h"
#include "log/Log.h"
#include "protocol/BaseProtocol.h"
#include "session/ProtocolFactory.h"
#include "support/ModelSession.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using Buffer = std::vector<uint8_t>;

Buffer SubPacket(uint8_t type, const Buffer& payload) {
    const size_t n = payload.size();
    Buffer out{type, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
               static_cast<uint8_t>(n >> 16), 0};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Buffer StatusPacket(const DeviceStatus& status) {
    const Buffer body = EncodeDeviceStatus(status);
    Buffer out{0x2C, static_cast<uint8_t>(body.size()), 0};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// What the scripted camera answers; the same values serve the command read and the pushed
// block.
struct CameraValues {
    Matrix3 depthK{520.5, 0, 321.25, 0, 519.75, 241.5, 0, 0, 1};
    Matrix3 colourK{1001, 0, 961, 0, 1002, 541, 0, 0, 1};
    Distortion depthD{0.11, -0.21, 0.01, 0.02, 0.3, 0, 0, 0};
    Distortion colourD{0.12, -0.22, 0.03, 0.04, 0.5, 0, 0, 0};
    Matrix3 rotation{0.99, 0.01, 0.02, -0.01, 0.99, 0.03, -0.02, -0.03, 0.99};
    Vector3 translation{25.5, 0.5, 0.25};
    std::array<RangeOffsetRecord, 3> offsets{};
    std::array<NsMeasuringRange, 3> ranges{{{0, 4096, 5000, 7500, 3000, 4800, 7400, 100, 300, 500},
                                            {1, 5754, 6662, 8328, 4800, 5600, 7500, 2, 2, 2},
                                            {2, 11508, 13324, 16656, 0, 0, 0, 0, 0, 0}}};
    std::array<uint8_t, 33> modes{3, 0, 1, 2};
    std::array<uint8_t, 10> depthRanges{2, 0, 1};
    uint8_t dataMode = 2;
    uint32_t depthRange = 1;

    CameraValues() {
        for (uint8_t g = 0; g < 3; ++g) {
            offsets[g][0] = g;
            offsets[g][5] = static_cast<uint8_t>(g + 3);  // near offset
        }
    }
    PushedParameters Pushed() const {
        PushedParameters p;
        double* c = p.calibration.data();
        c = std::copy(depthK.begin(), depthK.end(), c);
        c = std::copy(depthD.begin(), depthD.end(), c);
        c = std::copy(colourK.begin(), colourK.end(), c);
        c = std::copy(colourD.begin(), colourD.end(), c);
        c = std::copy(rotation.begin(), rotation.end(), c);
        std::copy(translation.begin(), translation.end(), c);
        p.depthOffsets = offsets;
        p.measuringRanges = ranges;
        p.dataModeList = modes;
        p.depthRangeList = depthRanges;
        p.dataMode = dataMode;
        p.depthRange = static_cast<uint8_t>(depthRange);
        p.threshold = 20;
        return p;
    }
};

// The camera behind a session: its answers, its stream, and the commands it received.
struct Camera {
    CameraValues values;
    bool pushes = false;
    bool answersLists = true;
    std::atomic<int32_t> rotationResult{0};  // what the rotation read answers
    std::string firmware = "20240101_V1";
    LensRecord lens{};
    std::mutex lock;
    std::vector<std::string> calls;
    std::deque<Buffer> once;  // sent first, one per read
    Buffer repeated;          // then sent on every read
    std::atomic<bool> streaming{false};

    void Call(std::string what) {
        std::lock_guard guard(lock);
        calls.push_back(std::move(what));
    }
    size_t Count(const std::string& what) {
        std::lock_guard guard(lock);
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), what));
    }
    std::vector<std::string> Calls() {
        std::lock_guard guard(lock);
        return calls;
    }
    void Repeat(Buffer buffer) {
        std::lock_guard guard(lock);
        repeated = std::move(buffer);
    }
};

class ScriptedProtocol final : public BaseProtocol {
public:
    explicit ScriptedProtocol(Camera& camera) : m_camera(camera) {}

    int32_t OpenDevice() override { return Note("OpenDevice"); }
    int32_t CloseDevice() override { return Note("CloseDevice"); }
    int32_t StartStream() override {
        m_camera.streaming = true;
        return Note("StartStream");
    }
    int32_t StopStream() override {
        m_camera.streaming = false;
        return Note("StopStream");
    }
    int32_t IsSupportJSONConfig() override { return m_camera.pushes ? 0 : -1; }
    int32_t SendCameraParamsEnable(bool on) override {
        return Note("SendCameraParamsEnable " + std::to_string(on));
    }
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override {
        const uint32_t capacity = length;
        length = 0;
        std::lock_guard guard(m_camera.lock);
        if (!m_camera.streaming || (m_camera.once.empty() && m_camera.repeated.empty())) {
            return 0;  // the reader sleeps after an empty read
        }
        std::this_thread::sleep_for(5ms);  // a camera's frame rate, roughly
        const Buffer* next = !m_camera.once.empty() ? &m_camera.once.front() : &m_camera.repeated;
        if (next->size() <= capacity) {
            memcpy(buffer, next->data(), next->size());
            length = static_cast<uint32_t>(next->size());
        }
        if (!m_camera.once.empty()) {
            m_camera.once.pop_front();
        }
        return 0;
    }
    int32_t GetCameraIntrinsic(uint8_t lens, Matrix3& m) override {
        m = lens == 1 ? m_camera.values.depthK : m_camera.values.colourK;
        return Note("GetCameraIntrinsic");
    }
    int32_t GetCameraDistortion(uint8_t lens, Distortion& d) override {
        d = lens == 1 ? m_camera.values.depthD : m_camera.values.colourD;
        return 0;
    }
    int32_t GetCameraRotation(Matrix3& m) override {
        m = m_camera.values.rotation;
        return m_camera.rotationResult.load();
    }
    int32_t GetCameraTransfer(Vector3& v) override {
        v = m_camera.values.translation;
        return 0;
    }
    int32_t GetProperty(uint32_t id, void* data, uint32_t& length) override {
        auto give = [&](const auto& bytes) {
            if (length < bytes.size()) {
                return -15;
            }
            memcpy(data, bytes.data(), bytes.size());
            length = static_cast<uint32_t>(bytes.size());
            return 0;
        };
        switch (id) {
            case property::kRangeOffset:
                return give(m_camera.values.offsets[static_cast<uint8_t*>(data)[0] % 3]);
            case property::kOutModeList:
                return m_camera.answersLists ? give(m_camera.values.modes) : -255;
            case property::kDepthRangeList:
                return m_camera.answersLists ? give(m_camera.values.depthRanges) : -255;
            default:
                return -255;
        }
    }
    int32_t GetMeasuringRange(NsMeasuringRange& range) override {
        range = m_camera.values.ranges[range.depthMode % 3];
        return Note("GetMeasuringRange");
    }
    int32_t GetDataMode(uint8_t& mode) override {
        mode = m_camera.values.dataMode;
        return 0;
    }
    int32_t GetDepthRange(uint32_t& range) override {
        range = m_camera.values.depthRange;
        return 0;
    }
    int32_t SetThreshold(uint16_t t) override { return Note("SetThreshold " + std::to_string(t)); }
    int32_t SetDataMode(uint8_t m) override { return Note("SetDataMode " + std::to_string(m)); }
    int32_t SetLens(const LensRecord& lens) override {
        m_camera.lens = lens;
        return Note("SetLens " + std::to_string(lens.width) + "x" + std::to_string(lens.height));
    }
    int32_t GetLens(LensRecord& lens) override {
        lens = m_camera.lens;
        return 0;
    }
    int32_t GetFWVer(char* text, uint32_t capacity) override {
        snprintf(text, capacity, "%s", m_camera.firmware.c_str());
        return 0;
    }
    int32_t SetRgbAecEnabled(bool on) override {
        return Note("SetRgbAecEnabled " + std::to_string(on));
    }
    int32_t GetSN(char* text, uint32_t capacity) override {
        snprintf(text, capacity, "SN9");
        return 0;
    }
    int32_t SetConnectStatus(bool) override { return 0; }

private:
    int32_t Note(std::string what) {
        m_camera.Call(std::move(what));
        return 0;
    }
    Camera& m_camera;
};

Buffer DepthBuffer() {
    return SubPacket(0x21, Buffer(460800, 0x55));
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        SetProtocolFactoryForTesting(
            [this](const SessionInfo&) { return std::make_unique<ScriptedProtocol>(*m_next); });
    }
    void TearDown() override { SetProtocolFactoryForTesting({}); }

    // A session of `deviceType` on a new scripted camera.
    std::unique_ptr<BaseSession> Make(uint32_t deviceType, Camera*& camera) {
        m_cameras.push_back(std::make_unique<Camera>());
        camera = m_next = m_cameras.back().get();
        return std::make_unique<BaseSession>(test::SessionInfoOf(deviceType));
    }

    std::vector<std::unique_ptr<Camera>> m_cameras;
    Camera* m_next = nullptr;
};

// The lifecycle walked state by state: what each state refuses, and that the camera is
// read once per open, again after a failed read and after a reopen, never on a restart.
TEST_F(Session, LifecycleStatesRefuseWhatTheyDoNotAllowAndInitialiseOncePerOpen) {
    Camera* camera = nullptr;
    auto s = Make(TK5P, camera);
    uint32_t ready = 0;
    auto reads = [&] { return camera->Count("GetMeasuringRange"); };
    EXPECT_EQ(s->State(), SessionState::kClosed);
    EXPECT_EQ(s->ReadNextFrame(&ready), -2);

    ASSERT_EQ(s->OpenDevice(), 0);
    EXPECT_EQ(s->State(), SessionState::kOpened);
    EXPECT_EQ(s->OpenDevice(), -103);
    EXPECT_EQ(s->ReadNextFrame(&ready), -2);

    camera->rotationResult = -104;  // the camera cannot be read: the start fails
    EXPECT_EQ(s->StartStream(), -104);
    EXPECT_EQ(s->State(), SessionState::kOpened);
    EXPECT_FALSE(s->IsInitialised());
    camera->rotationResult = 0;

    ASSERT_EQ(s->StartStream(), 0);
    EXPECT_EQ(s->State(), SessionState::kStreaming);
    EXPECT_EQ(reads(), 3u);
    ASSERT_EQ(s->StopStream(), 0);
    EXPECT_EQ(s->State(), SessionState::kReady);
    EXPECT_EQ(s->ReadNextFrame(&ready), -2);
    ASSERT_EQ(s->StopStream(), 0);  // stopping twice keeps it ready
    EXPECT_EQ(s->State(), SessionState::kReady);
    ASSERT_EQ(s->StartStream(), 0);
    EXPECT_EQ(reads(), 3u) << "a restart does not initialise again";

    ASSERT_EQ(s->CloseDevice(), 0);
    EXPECT_EQ(s->State(), SessionState::kClosed);
    EXPECT_FALSE(s->IsStreaming());
    ASSERT_EQ(s->OpenDevice(), 0);
    ASSERT_EQ(s->StartStream(), 0);
    EXPECT_EQ(reads(), 6u) << "a reopened session initialises again";
}

// A stopped stream ends the filters' history, so a restart is not averaged with frames of
// before the stop.
TEST_F(Session, StoppingTheStreamResetsTheFilters) {
    struct Counting : ImgPreProcessImpl {
        std::atomic<uint32_t>* resets = nullptr;
        int32_t ResetFilters() override {
            ++*resets;
            return 0;
        }
    };
    std::atomic<uint32_t> resets{0};
    auto pre = std::make_unique<Counting>();
    pre->resets = &resets;
    m_cameras.push_back(std::make_unique<Camera>());
    m_next = m_cameras.back().get();
    BaseSession s(test::SessionInfoOf(TK5P), std::move(pre));
    ASSERT_EQ(s.OpenDevice(), 0);
    ASSERT_EQ(s.StartStream(), 0);
    const uint32_t before = resets.load();
    ASSERT_EQ(s.StopStream(), 0);
    EXPECT_EQ(resets.load(), before + 1);
}

TEST_F(Session, CalibrationComesFromTheCacheUntilSetFromLocalTurnsItOff) {
    Camera* camera = nullptr;
    auto s = Make(TK5P, camera);
    ASSERT_EQ(s->OpenDevice(), 0);
    ASSERT_EQ(s->StartStream(), 0);
    ASSERT_EQ(camera->Count("GetCameraIntrinsic"), 2u);
    Matrix3 k{};
    EXPECT_EQ(s->GetCameraIntrinsic(1, k), 0);
    EXPECT_EQ(k, camera->values.depthK);
    EXPECT_EQ(camera->Count("GetCameraIntrinsic"), 2u) << "served from the cache";
    s->SetFromLocal(false);
    EXPECT_EQ(s->GetCameraIntrinsic(1, k), 0);
    EXPECT_EQ(camera->Count("GetCameraIntrinsic"), 3u);
    log::Capture capture;
    EXPECT_EQ(s->GetCameraIntrinsic(3, k), -255);
    EXPECT_TRUE(capture.Contains("cameraType:3 is invalid."));
}

TEST_F(Session, OlderTk3aFirmwareGets640x360ForA640x480Request) {
    for (const auto& [firmware, sent] : {std::pair{"20230101_V64", "SetLens 640x360"},
                                         std::pair{"20230101_V65", "SetLens 640x480"}}) {
        Camera* camera = nullptr;
        auto s = Make(TK3A, camera);
        camera->firmware = firmware;
        ASSERT_EQ(s->OpenDevice(), 0);
        ASSERT_EQ(s->StartStream(), 0);
        EXPECT_EQ(camera->Count("SetLens 640x360"), 1u) << "InitLens sends the colour mode";
        ASSERT_EQ(s->SetLens(LensRecord{2, 1, 640, 480, 30, 2}), 0);
        EXPECT_EQ(camera->Calls().back(), sent) << firmware;
        LensRecord lens{};
        lens.sensor = 2;
        ASSERT_EQ(s->GetLens(lens), 0);
        EXPECT_EQ(lens.height, 480) << firmware;
        EXPECT_EQ(s->GetRgbFrameMode().height, 480u);
    }
}

TEST_F(Session, UnknownDeviceTypeHasNoProtocol) {
    SetProtocolFactoryForTesting({});
    log::Capture capture;
    BaseSession s(test::SessionInfoOf(TK2B));
    EXPECT_TRUE(capture.Contains("devicetype:213 is invalid."));
    EXPECT_EQ(s.OpenDevice(), -255);
    EXPECT_EQ(s.StartStream(), -255);
}

TEST_F(Session, PushedParametersSetWhatTheCommandReadSets) {
    Camera* byCommand = nullptr;
    auto a = Make(TK5P, byCommand);
    Camera* byPush = nullptr;
    auto b = Make(TK5P, byPush);
    byPush->pushes = true;
    byPush->once.push_back(SubPacket(0x2E, EncodeInitParams(byPush->values.Pushed())));
    for (auto* s : {a.get(), b.get()}) {
        ASSERT_EQ(s->OpenDevice(), 0);
        ASSERT_EQ(s->StartStream(), 0);
    }
    EXPECT_EQ(byPush->Count("GetMeasuringRange"), 0u) << "nothing was read by command";
    EXPECT_EQ(byPush->Count("SendCameraParamsEnable 1"), 1u);

    for (uint32_t camera : {1u, 2u}) {
        Matrix3 ka{}, kb{};
        Distortion da{}, db{};
        EXPECT_EQ(a->GetCameraIntrinsic(camera, ka), 0);
        EXPECT_EQ(b->GetCameraIntrinsic(camera, kb), 0);
        EXPECT_EQ(ka, kb);
        EXPECT_EQ(a->GetCameraDistortion(camera, da), 0);
        EXPECT_EQ(b->GetCameraDistortion(camera, db), 0);
        EXPECT_EQ(da, db);
    }
    Matrix3 ra{}, rb{};
    Vector3 ta{}, tb{};
    a->GetCameraRotation(ra);
    b->GetCameraRotation(rb);
    a->GetCameraTransfer(ta);
    b->GetCameraTransfer(tb);
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(ta, tb);
    EXPECT_EQ(a->GetStoredDataMode(), b->GetStoredDataMode());
    EXPECT_EQ(a->GetStoredDepthRange(), b->GetStoredDepthRange());
    EXPECT_EQ(a->GetStoredThreshold(), b->GetStoredThreshold());
    for (uint8_t g = 0; g < 3; ++g) {
        NsMeasuringRange ma{}, mb{};
        ma.depthMode = mb.depthMode = g;
        EXPECT_EQ(a->GetMeasuringRange(ma), b->GetMeasuringRange(mb));
        EXPECT_EQ(memcmp(&ma, &mb, sizeof ma), 0) << "group " << int{g};
    }
    for (uint8_t m = 0; m < 14; ++m) {
        EXPECT_EQ(a->IsDataModeInList(m), b->IsDataModeInList(m)) << int{m};
    }
    for (uint32_t r = 0; r < 9; ++r) {
        EXPECT_EQ(a->IsDepthRangeInList(r), b->IsDepthRangeInList(r)) << r;
        const uint16_t* tableA = a->Engine().Tof().GetDepthDecodeTab(r);
        const uint16_t* tableB = b->Engine().Tof().GetDepthDecodeTab(r);
        ASSERT_EQ(tableA == nullptr, tableB == nullptr) << r;
        if (tableA != nullptr) {
            EXPECT_EQ(memcmp(tableA, tableB, kDepthTableEntries * 2), 0) << "table " << r;
        }
    }
    for (uint32_t type : {0u, 1u, 3u}) {
        uint32_t wa = 0, ha = 0, fa = 0, wb = 0, hb = 0, fb = 0;
        a->GetFrameMode(type, &wa, &ha, &fa);
        b->GetFrameMode(type, &wb, &hb, &fb);
        EXPECT_EQ(std::tie(wa, ha, fa), std::tie(wb, hb, fb)) << type;
    }
    EXPECT_EQ(a->Engine().Tof().GetDataMode(), b->Engine().Tof().GetDataMode());
    EXPECT_EQ(a->Engine().Tof().GetDepthRange(), b->Engine().Tof().GetDepthRange());
    ASSERT_NE(a->GetPixelRayTable(), nullptr);
    ASSERT_NE(b->GetPixelRayTable(), nullptr);
    EXPECT_EQ(a->GetPixelRayTable()->columns, b->GetPixelRayTable()->columns);
    EXPECT_EQ(a->GetPixelRayTable()->rows, b->GetPixelRayTable()->rows);
}

TEST_F(Session, LatePushedParametersAreReadByCommand) {
    Camera* camera = nullptr;
    auto s = Make(TK5P, camera);
    camera->pushes = true;
    log::Capture capture;
    ASSERT_EQ(s->OpenDevice(), 0);
    ASSERT_EQ(s->StartStream(), 0);
    EXPECT_TRUE(capture.Contains("first frame data is toot late. 0"));
    EXPECT_EQ(camera->Count("GetMeasuringRange"), 3u);
}

TEST_F(Session, Tk1aCloseTurnsAutoExposureOffAndIdlesFirst) {
    Camera* camera = nullptr;
    auto s = Make(TK1A, camera);
    camera->answersLists = false;  // the model's own list: 100, 101, 102
    ASSERT_EQ(s->OpenDevice(), 0);
    ASSERT_EQ(s->StartStream(), 0);
    ASSERT_EQ(s->CloseDevice(), 0);
    const auto calls = camera->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"SetRgbAecEnabled 0", "SetDataMode 102", "CloseDevice"}));
    uint32_t w = 0, h = 0, fps = 0;
    s->GetFrameMode(IRFrame, &w, &h, &fps);  // mode 100, its start mode, is IR only
    EXPECT_EQ(w, 480u) << "the TK1A sensor stands upright";
    EXPECT_EQ(h, 640u);
    EXPECT_EQ(s->GetPixelRayTable()->width, 480u);
}

TEST_F(Session, AliveUntilMoreThan300ReadsFailInARow) {
    Camera* camera = nullptr;
    auto s = Make(TK3A, camera);
    ASSERT_EQ(s->OpenDevice(), 0);
    ASSERT_EQ(s->StartStream(), 0);
    EXPECT_TRUE(s->IsAlive());
    for (int i = 0; i < 1000 && s->IsAlive(); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(s->IsAlive());
    EXPECT_GT(s->Engine().FailedReads(), 300u);
    camera->Repeat(DepthBuffer());
    for (int i = 0; i < 500 && !s->IsAlive(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(s->IsAlive()) << "a read with data resets the count";
}

TEST_F(Session, ThresholdIsConfirmedOnlyWhileTheStreamRuns) {
    Camera* camera = nullptr;
    auto s = Make(TK5P, camera);
    DeviceStatus status;
    status.thresholdX10 = 200;
    Buffer buffer = StatusPacket(status);
    const Buffer depth = DepthBuffer();
    buffer.insert(buffer.end(), depth.begin(), depth.end());
    camera->Repeat(buffer);
    ASSERT_EQ(s->OpenDevice(), 0);
    ASSERT_EQ(s->StartStream(), 0);
    for (int i = 0; i < 500 && !s->GetDeviceSync(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(s->GetDeviceSync());
    EXPECT_EQ(s->SetThreshold(20), 0) << "echoed";
    log::Capture capture;
    EXPECT_EQ(s->SetThreshold(30), -105) << "never echoed";
    EXPECT_TRUE(capture.Contains("set Threshold 300   receive Threshold 200"));
    EXPECT_EQ(s->GetStoredThreshold(), 20);

    ASSERT_EQ(s->StopStream(), 0);
    EXPECT_EQ(s->SetThreshold(30), 0) << "no status arrives while stopped: sent, not awaited";
    EXPECT_EQ(s->GetStoredThreshold(), 30);
    EXPECT_EQ(camera->Count("SetThreshold 30"), 2u);
}

// --- frames through the whole engine ------------------------------------------------------

struct Flags {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    void Set() {
        std::lock_guard guard(lock);
        done = true;
        changed.notify_all();
    }
    bool Wait() {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 10s, [this] { return done; });
    }
};
Flags g_flags;
std::unique_ptr<BaseSession> g_session;

class SessionFrames : public Session {
protected:
    void SetUp() override {
        Session::SetUp();
        g_flags.done = false;
        g_session = Make(TK5P, m_camera);
        m_camera->Repeat(DepthBuffer());
        ASSERT_EQ(g_session->OpenDevice(), 0);
        ASSERT_EQ(g_session->StartStream(), 0);
        g_session->SetWaitTimeOfReadNextFrame(5000);
    }
    void TearDown() override {
        g_session.reset();
        Session::TearDown();
    }
    Camera* m_camera = nullptr;
};

TEST_F(SessionFrames, DepthFramesArriveAndStopEndsReading) {
    uint32_t ready = 0;
    ASSERT_EQ(g_session->ReadNextFrame(&ready), 0);
    EXPECT_EQ(ready, uint32_t{NsFrameReadyDepth});
    Frame frame;
    ASSERT_EQ(g_session->GetFrame(DepthFrame, &frame), 0);
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.dataLen, 640u * 480 * 2);
    EXPECT_EQ(g_session->GetFrame(DepthFrame, nullptr), -5);
    EXPECT_EQ(g_session->GetColorPixelFormat(), 4);
    ASSERT_EQ(g_session->StopStream(), 0);
    EXPECT_EQ(g_session->ReadNextFrame(&ready), -2);
}

TEST_F(SessionFrames, CallbackMayStopItsOwnSession) {
    ASSERT_TRUE(g_session->RegisterNotify([](const NsFrameSet*) {
        g_session->StopStream();
        g_session->UnRegisterNotify();
        g_flags.Set();
    }));
    ASSERT_TRUE(g_flags.Wait());
    EXPECT_FALSE(g_session->IsStreaming());
}

TEST_F(SessionFrames, CallbackMayDestroyItsOwnSession) {
    log::Capture capture;
    ASSERT_TRUE(g_session->RegisterNotify([](const NsFrameSet*) {
        g_session.reset();
        g_flags.Set();
    }));
    ASSERT_TRUE(g_flags.Wait());
    std::this_thread::sleep_for(50ms);  // the let-go thread ends on its own
    EXPECT_EQ(capture.Count("ret:" + std::to_string(kThreadJoinTimeout)), 0u);
}

}  // namespace
}  // namespace quorix
