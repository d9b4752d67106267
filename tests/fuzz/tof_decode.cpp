// The ToF decoder on raw records as the frame engine hands them on. Input:
//   byte 0  bit 0: the rest is the record itself (any sub-packets, any lengths); else a
//           record of one sub-packet of the type picked by byte 3, of its exact length,
//           with the rest repeated into its payload
//           bits 1-2: data mode 0, 2, 11 (WDR) or 13; bit 3: new measuring range and
//           offsets from the input (the camera reports both)
//   byte 1  depth range (9 is out of range); byte 2 rotation (3: none)
//   byte 3  decodable type; byte 4 the header's range byte (read in WDR modes)
//   [bit 3] 19 bytes of measuring range, 19 of range offset for group byte 1 % 3
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "Tile.h"
#include "imaging/RawTypes.h"
#include "imaging/TofDecode.h"
#include "imgproc/ImgPreProcess.h"

using namespace quorix;

namespace {

constexpr uint8_t kDataModes[] = {0, 2, 11, 13};

struct Decoder {
    Decoder() {
        // Group 0, range 0: raw values decode to themselves; the other groups alike.
        const MeasuringRange identity = {0, 4096, 5000, 7500, 3000, 4800, 7400, 100, 300, 500};
        for (uint32_t g = 0; g < 3; ++g) {
            MeasuringRange r = identity;
            r.depthMode = static_cast<uint8_t>(g);
            tof.SetMeasuringRange(g, r);
        }
        for (const RawType& row : AllRawTypes()) {
            if (RawTypesOf(row.id).Decoded() == &row) {
                decodable.push_back(&row);
            }
        }
    }
    std::unique_ptr<ImgPreProcess> preProcess = Get_APIImgPreProcess();
    TofDecode tof{nullptr, preProcess.get()};
    std::vector<const RawType*> decodable;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Decoder d;
    fuzz::FuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    const uint8_t range = in.Byte() % 10;
    const uint16_t rotation = in.Byte() % 4;
    const RawType& row = *d.decodable[in.Byte() % d.decodable.size()];
    const uint8_t rangeByte = in.Byte();
    d.tof.SetDataMode(kDataModes[(flags >> 1) % 4]);
    d.tof.SetDepthRange(range);
    d.tof.SetRotateType(rotation == 3 ? 0xFFFF : rotation);
    if ((flags & 8) != 0) {
        MeasuringRange measuring;
        RangeOffset offset;
        const auto a = in.Take(sizeof measuring);
        const auto b = in.Take(sizeof offset.bytes);
        fuzz::Tile(a, reinterpret_cast<uint8_t*>(&measuring), sizeof measuring);
        fuzz::Tile(b, offset.bytes, sizeof offset.bytes);
        d.tof.SetRangeOffset(range % 3, offset);
        d.tof.SetMeasuringRange(range % 3, measuring);
    }
    const auto rest = in.Rest();

    std::vector<uint8_t> record;
    if ((flags & 1) != 0) {
        record.assign(rest.begin(), rest.end());
    } else {
        record.resize(kRawHeaderBytes + row.length);
        record[0] = row.id;
        record[1] = static_cast<uint8_t>(row.length);
        record[2] = static_cast<uint8_t>(row.length >> 8);
        record[3] = static_cast<uint8_t>(row.length >> 16);
        record[4] = rangeByte;
        fuzz::Tile(rest, record.data() + kRawHeaderBytes, row.length);
    }
    Frame raw;
    raw.pFrameData = record.data();
    raw.capacity = static_cast<uint32_t>(record.size());
    raw.dataLen = raw.capacity;
    raw.frameSet = kFrameSetDepth | kFrameSetIR;

    Frame* depth = d.tof.DepthQueue().AllocFrame(kPoolDepth);
    Frame* ir = d.tof.IRQueue().AllocFrame(kPoolIR);
    const uint32_t decoded = d.tof.DecodeRecord(raw, depth, ir);
    for (Frame* f : {depth, ir}) {
        const bool filled = (decoded & (f == depth ? kFrameSetDepth : kFrameSetIR)) != 0;
        if (filled &&
            (f->dataLen > f->capacity || size_t{f->width} * f->height * 2 != f->dataLen)) {
            __builtin_trap();  // a decoded frame says what it holds
        }
    }
    d.tof.DepthQueue().Release(depth);
    d.tof.IRQueue().Release(ir);
    return 0;
}
