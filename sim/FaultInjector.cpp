#include "sim/FaultInjector.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "sim/SimWire.h"

namespace quorix::sim {

namespace {

FaultPlan Plan(Misbehaviour mode, bool thenAnswer = false) {
    FaultPlan plan;
    plan.mode = mode;
    plan.thenAnswer = thenAnswer;
    return plan;
}

constexpr const char* kNames[] = {
    "stray-bytes",     "cut-frame",       "huge-length", "foreign-frame",    "data-silence",
    "command-garbage", "command-silence", "wrong-echo",  "drop-connections", "camera-state",
};
static_assert(std::size(kNames) == static_cast<size_t>(InjectedFault::kCount));

}  // namespace

const char* FaultName(InjectedFault fault) {
    const auto i = static_cast<size_t>(fault);
    return i < std::size(kNames) ? kNames[i] : "?";
}

FaultInjector::FaultInjector(SimCamera& camera, uint32_t meanIntervalMs, uint64_t seed,
                             std::function<void(InjectedFault)> onFault)
    : StoppableThread("FaultInjector"),
      m_camera(camera),
      m_meanMs(std::max<uint32_t>(meanIntervalMs, 50)),
      m_random(seed),
      m_onFault(std::move(onFault)) {}

FaultInjector::~FaultInjector() {
    Stop();
}

void FaultInjector::Stop() {
    StopAndJoin();
    Heal();
}

std::array<uint64_t, static_cast<size_t>(InjectedFault::kCount)> FaultInjector::Counts() const {
    std::array<uint64_t, static_cast<size_t>(InjectedFault::kCount)> counts{};
    for (size_t i = 0; i < counts.size(); ++i) {
        counts[i] = m_counts[i].load();
    }
    return counts;
}

std::string FaultInjector::Summary() const {
    std::ostringstream out;
    const auto counts = Counts();
    for (size_t i = 0; i < counts.size(); ++i) {
        out << (i == 0 ? "" : " ") << kNames[i] << ' ' << counts[i];
    }
    return out.str();
}

bool FaultInjector::Hold(uint32_t ms) {
    // Inject() runs on the test's thread too, where there is no stop to wait for.
    if (!IsCurrentThread()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    return !WaitForStop(std::chrono::milliseconds(ms));
}

void FaultInjector::Heal() {
    m_camera.ClearFault();
    m_camera.UpdateState([](SimState& s) { s.stream.silent = false; });
    m_camera.SetCameraState(0);
}

std::vector<uint8_t> FaultInjector::Header(uint32_t type, uint32_t length) {
    std::vector<uint8_t> bytes(kFrameHeaderBytes);
    PutU32(bytes.data(), type);
    PutU32(bytes.data() + 4, length);
    return bytes;
}

void FaultInjector::SendOnData(const std::vector<uint8_t>& bytes) {
    const uint32_t sessions = m_camera.Config().sessions;
    const auto session = static_cast<uint32_t>(m_random() % sessions);
    // No data connection (the host is away) is no fault of the injector's.
    (void)m_camera.SendDataBytes(session, bytes.data(), bytes.size());
}

void FaultInjector::Inject(InjectedFault fault) {
    ++m_counts[static_cast<size_t>(fault)];
    if (m_onFault) {
        m_onFault(fault);
    }
    std::uniform_int_distribution<uint32_t> byte(0, 255);
    switch (fault) {
        case InjectedFault::kStrayBytes: {
            std::vector<uint8_t> bytes(1 + m_random() % 64);
            for (uint8_t& b : bytes) {
                b = static_cast<uint8_t>(byte(m_random));
            }
            SendOnData(bytes);
            break;
        }
        case InjectedFault::kCutFrame: {
            const uint32_t announced = 64 + static_cast<uint32_t>(m_random() % 4000);
            std::vector<uint8_t> bytes = Header(kDataFrameType, announced);
            bytes.resize(bytes.size() + announced - 1 - m_random() % 63, 0x5A);
            SendOnData(bytes);
            break;
        }
        case InjectedFault::kHugeLength: {
            std::vector<uint8_t> bytes = Header(kDataFrameType, 0x7FFFFFF0);
            bytes.resize(bytes.size() + 16, 0xEE);
            SendOnData(bytes);
            break;
        }
        case InjectedFault::kForeignFrame: {
            std::vector<uint8_t> bytes = Header(2 + static_cast<uint32_t>(m_random() % 1000), 64);
            bytes.resize(bytes.size() + 64, 0x33);
            SendOnData(bytes);
            break;
        }
        case InjectedFault::kDataSilence:
            m_camera.UpdateState([](SimState& s) { s.stream.silent = true; });
            Hold(1000 + static_cast<uint32_t>(m_random() % 3000));
            m_camera.UpdateState([](SimState& s) { s.stream.silent = false; });
            break;
        case InjectedFault::kCommandGarbage:
            m_camera.SetFault(Plan(Misbehaviour::kGarbage));
            Hold(1000);
            m_camera.ClearFault();
            break;
        case InjectedFault::kCommandSilence:
            m_camera.SetFault(Plan(Misbehaviour::kSilent));
            Hold(3000);
            m_camera.ClearFault();
            break;
        case InjectedFault::kWrongEcho:
            m_camera.SetFault(Plan(Misbehaviour::kWrongEcho, (m_random() & 1) != 0));
            Hold(1000);
            m_camera.ClearFault();
            break;
        case InjectedFault::kDropConnections:
            // Taken back as soon as one request has closed its session's connections.
            m_camera.SetFault(Plan(Misbehaviour::kCloseConnection));
            Hold(2000);
            m_camera.ClearFault();
            break;
        case InjectedFault::kCameraState: {
            static constexpr uint8_t kStates[] = {1, 3, 4};
            m_camera.SetCameraState(kStates[m_random() % std::size(kStates)]);
            m_camera.AnnounceNow();
            Hold(2000);
            m_camera.SetCameraState(0);
            m_camera.AnnounceNow();
            break;
        }
        case InjectedFault::kCount:
            break;
    }
}

void FaultInjector::Run() {
    std::exponential_distribution<double> gap(1.0 / m_meanMs);
    while (IsRunning()) {
        const auto wait = static_cast<uint32_t>(std::clamp(gap(m_random), 50.0, 60000.0));
        if (!Hold(wait)) {
            break;
        }
        Inject(static_cast<InjectedFault>(m_random() % static_cast<size_t>(InjectedFault::kCount)));
    }
}

}  // namespace quorix::sim
