// The blocks a camera pushes in its stream and the plane-correction frames it answers:
// the first byte picks one, the rest is its payload.
//   0  the pushed parameter block (sub-packet 0x2E), then the values the session reads
//   1  the device status record (sub-packet 0x2C), as far as the payload reaches
//   2  a plane-correction header reply, then a data-frame reply of any piece size
#include <cstring>

#include "FuzzInput.h"
#include "protocol/Commands.h"
#include "protocol/DeviceStatus.h"
#include "protocol/InitParams.h"

using namespace quorix;

namespace {

cmd::Command ReplyOf(std::span<const uint8_t> bytes, uint16_t received) {
    cmd::Command reply;
    memcpy(reply.data.data(), bytes.data(), std::min(bytes.size(), reply.data.size()));
    reply.received = std::min<uint16_t>(received, static_cast<uint16_t>(reply.data.size()));
    return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    switch (in.Byte() % 3) {
        case 0: {
            const auto payload = in.Rest();
            InitParamBlocks blocks;
            DecodeInitParams(payload.data(), payload.size(), blocks);
            PushedParameters params;
            if (ReadPushedParameters(blocks, params) &&
                (params.serialNumber.size() > 61 || params.firmwareVersion.size() > 61)) {
                __builtin_trap();  // a text never leaves its 64-byte block
            }
            break;
        }
        case 1: {
            const auto payload = in.Rest();
            DeviceStatus status;
            ParseDeviceStatus(payload.data(), payload.size(), status);
            break;
        }
        default: {
            const uint16_t received = in.Byte();
            const size_t piece = in.Byte();
            const auto bytes = in.Rest();
            const cmd::Command reply = ReplyOf(bytes, received);
            cmd::PlaneHeaderInfo header;
            (void)cmd::ReadPlaneHeader(reply, header);
            uint32_t index = 0;
            const uint8_t* at = nullptr;
            if (cmd::ReadPlanePiece(reply, piece, index, at) == 0) {
                // The piece lies inside the reply that arrived.
                if (at < reply.data.data() || at + piece > reply.data.data() + reply.received) {
                    __builtin_trap();
                }
                uint8_t copy[cmd::kPlanePiece];
                memcpy(copy, at, piece);
            }
            break;
        }
    }
    return 0;
}
