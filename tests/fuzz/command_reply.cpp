// Command replies of network cameras: one get operation of the socket protocol, picked by
// the first byte, runs against a loopback peer that answers each of its get requests with
// the next piece of the input (pieces carry a 16-bit length before them). The bytes go
// through the transport's reply framing and into the operation's reply readers exactly as
// a camera's would; buffers and capacities are the ones the library passes.
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "FuzzInput.h"
#include "ReplyPeer.h"
#include "protocol/SocketProtocol.h"

using namespace quorix;

namespace {

// The session reads the plane correction into a buffer of this many 4-byte entries.
constexpr uint32_t kPlaneEntries = 1228800 / 4;

// `arg` is the byte after the selector, for operations that take a parameter.
using Operation = std::function<void(SocketProtocol&, uint8_t arg)>;

template <typename Record>
Operation Property(uint32_t id) {
    return [id](SocketProtocol& p, uint8_t arg) {
        Record record{};
        memset(&record, arg, sizeof record);
        uint32_t length = sizeof record;
        p.GetProperty(id, &record, length);
    };
}

Operation Text(int32_t (SocketProtocol::*get)(char*, uint32_t)) {
    return [get](SocketProtocol& p, uint8_t arg) {
        // The caller's capacity comes from the application: any size.
        const uint32_t capacity = arg == 0 ? 64 : arg;
        std::vector<char> text(capacity);
        (p.*get)(text.data(), capacity);
        if (memchr(text.data(), '\0', capacity) == nullptr) {
            __builtin_trap();  // texts always end inside the caller's buffer
        }
    };
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        [](SocketProtocol& p, uint8_t) {
            uint16_t v;
            p.GetThreshold(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetConfidenceBit(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetConfidenceWhich(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetTofFrameRate(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetDataMode(v);
        },
        [](SocketProtocol& p, uint8_t a) {
            uint8_t v = a;
            p.GetDepthMode(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint32_t v;
            p.GetDepthRange(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint16_t v;
            p.GetLDEnable(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetISAEnable(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint16_t v;
            p.GetTALEnable(v);
        },
        [](SocketProtocol& p, uint8_t) {
            WDROutputMode v;
            p.GetWDRMode(v);
        },
        [](SocketProtocol& p, uint8_t) {
            std::array<bool, 10> v;
            p.GetMeasuringStatus(v);
        },
        [](SocketProtocol& p, uint8_t a) {
            const uint8_t count = a % 17;  // 16 is refused before anything is sent
            std::array<uint16_t, 16> addresses{};
            std::array<uint16_t, 16> values{};
            p.GetRegVal(addresses.data(), values.data(), count);
        },
        [](SocketProtocol& p, uint8_t) {
            GmmBlock v{};
            p.GetGMM(v);
        },
        [](SocketProtocol& p, uint8_t a) {
            NsMeasuringRange v{};
            v.depthMode = a % 3;
            p.GetMeasuringRange(v);
        },
        [](SocketProtocol& p, uint8_t) {
            PulseCountBlock v{};
            p.GetPulseCount(v);
        },
        [](SocketProtocol& p, uint8_t) {
            HtpBlock v{};
            p.GetHTP(v);
        },
        [](SocketProtocol& p, uint8_t a) {
            OffsetRecord v{};
            v[0] = a;
            p.GetOffSet(v);
        },
        [](SocketProtocol& p, uint8_t a) {
            Matrix3 v;
            p.GetCameraIntrinsic(a % 3, v);
        },
        [](SocketProtocol& p, uint8_t a) {
            Distortion v;
            p.GetCameraDistortion(a % 3, v);
        },
        [](SocketProtocol& p, uint8_t) {
            Matrix3 v;
            p.GetCameraRotation(v);
        },
        [](SocketProtocol& p, uint8_t) {
            Vector3 v;
            p.GetCameraTransfer(v);
        },
        [](SocketProtocol& p, uint8_t) {
            Matrix3 v;
            p.GetCameraE(v);
        },
        [](SocketProtocol& p, uint8_t) {
            Matrix3 v;
            p.GetCameraF(v);
        },
        [](SocketProtocol& p, uint8_t) {
            WorkModeRecord v;
            p.GetWorkMode(v);
        },
        Text(&SocketProtocol::GetPCBA),
        Text(&SocketProtocol::GetSN),
        Text(&SocketProtocol::GetFWVer),
        Text(&SocketProtocol::GetHWVer),
        Text(&SocketProtocol::GetFlashType),
        Text(&SocketProtocol::GetAlias),
        [](SocketProtocol& p, uint8_t a) {
            ImuSensitivity s{};
            ImuOffset o{};
            ImuOffsetTemp t{};
            switch (a % 6) {
                case 0:
                    p.GetACCSensitivity(s);
                    break;
                case 1:
                    p.GetACCOffset(o);
                    break;
                case 2:
                    p.GetACCOffsetTemp(t);
                    break;
                case 3:
                    p.GetGyroSensitivity(s);
                    break;
                case 4:
                    p.GetGyroOffset(o);
                    break;
                default:
                    p.GetGyroOffsetTemp(t);
                    break;
            }
        },
        [](SocketProtocol& p, uint8_t a) {
            LensRecord v{};
            v.sensor = a % 3;
            p.GetLens(v);
        },
        [](SocketProtocol& p, uint8_t) {
            static const std::unique_ptr<uint8_t[]> block =
                std::make_unique<uint8_t[]>(kPlaneEntries * 4);
            uint16_t id = 0;
            uint32_t count = 0;
            p.GetPlaneCorrectionParam(id, block.get(), kPlaneEntries, count);
        },
        Property<std::array<uint8_t, 33>>(property::kOutModeList),
        Property<std::array<uint8_t, 10>>(property::kDepthRangeList),
        Property<RangeOffsetRecord>(property::kRangeOffset),
        Property<TalDelayRecord>(property::kTalDelay),
        [](SocketProtocol& p, uint8_t a) {
            DspStatusRecord v{};
            v.selector = a % 10;  // 9 is refused before anything is sent
            uint32_t length = sizeof v;
            p.GetProperty(property::kDspStatus, &v, length);
        },
        [](SocketProtocol& p, uint8_t a) {
            static constexpr uint32_t kTexts[] = {
                property::kDeviceUpgradeFlag, property::kDeviceSN,     property::kDeviceMACAddr,
                property::kDeviceSoftVer,     property::kDeviceIPAddr, property::kDeviceSubnetMask};
            char text[64];
            uint32_t length = sizeof text;
            p.GetProperty(kTexts[a % 6], text, length);
        },
        [](SocketProtocol& p, uint8_t) {
            uint32_t n = 0;
            p.GetProperty(property::kHeartBeat, nullptr, n);
        },
        [](SocketProtocol& p, uint8_t) {
            TransferState v;
            p.GetUpgradeState(v);
        },
        [](SocketProtocol& p, uint8_t) {
            TransferState v;
            p.GetJsonState(v);
        },
        [](SocketProtocol& p, uint8_t) { p.IsSupportJSONConfig(); },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetUpgradeIsSupported(v);
        },
        [](SocketProtocol& p, uint8_t) {
            uint8_t v;
            p.GetJsonIsSupported(v);
        },
    };
    return ops;
}

}  // namespace

namespace quorix::fuzz {

size_t CommandReplyOperationCount() {
    return Operations().size();
}

// Runs operation `op` against `peer`, answering its gets with `answer`.
void RunCommandReplyOperation(ReplyPeer& peer, size_t op, uint8_t arg,
                              const ReplyPeer::Answer& answer) {
    SocketProtocol protocol(ReplyPeer::Address(), peer.DataPort(), peer.CommandPort());
    std::thread camera([&] { peer.Serve(answer); });
    if (protocol.OpenDevice() == 0) {
        Operations()[op % Operations().size()](protocol, arg);
    }
    protocol.CloseDevice();
    camera.join();
}

}  // namespace quorix::fuzz

#ifndef QUORIX_FUZZ_NO_ENTRY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ReplyPeer peer;
    fuzz::FuzzInput in(data, size);
    const uint8_t op = in.Byte();
    const uint8_t arg = in.Byte();
    fuzz::RunCommandReplyOperation(
        peer, op, arg,
        [&in](uint8_t command, const uint8_t*, size_t) -> std::optional<std::vector<uint8_t>> {
            if ((command & 0x80) == 0) {
                return std::vector<uint8_t>{};
            }
            if (in.Empty()) {
                return std::nullopt;
            }
            const auto chunk = in.Chunk();
            return std::vector<uint8_t>(chunk.begin(), chunk.end());
        });
    return 0;
}
#endif
