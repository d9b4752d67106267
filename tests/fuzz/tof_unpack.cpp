// The raw ToF unpacking on payloads of any content and on every size the callers can
// pass: the fastest unpacking path must give exactly what the plain table loop gives,
// and the re-arranging decoders, the QVGA hole fill and the doubling must stay within the
// buffers their contracts size. The first byte picks the function, the next bytes its
// sizes and the depth limits of its table, the rest is repeated into the payload.
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "Tile.h"
#include "imaging/DepthDecodeTable.h"
#include "imaging/TofUnpack.h"

using namespace quorix;

namespace {

// A table of limits taken from the input (any limits a camera may report).
struct Table {
    explicit Table(fuzz::FuzzInput& in) {
        DepthRangeLimits limits;
        limits.depthMax = in.U16();
        limits.effectDepthMax = in.U16();
        limits.effectDepthMin = in.U16();
        limits.offset = in.U16();
        built = BuildDepthDecodeTable(limits, entries.data(), &lut);
        lut.table = entries.data();  // the re-arranging decoders need one, built or not
    }
    bool built = false;
    std::vector<uint16_t> entries = std::vector<uint16_t>(kDepthTableEntries);
    DepthLut lut;
};

constexpr RawPacking kRowPackings[] = {RawPacking::kRaw12, RawPacking::kMsb12, RawPacking::kIso12,
                                       RawPacking::kY16};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint8_t which = in.Byte() % 5;
    const uint16_t sizeWord = in.U16();
    Table table(in);
    const bool withTable = (sizeWord & 0x8000) != 0;
    const auto seed = in.Rest();
    switch (which) {
        case 0: {  // one packing, any even pixel count (a multiple of 4 for the split one)
            const RawPacking packing = static_cast<RawPacking>((sizeWord >> 12) % 5);
            const size_t step = packing == RawPacking::kSplit ? 4 : 2;
            const size_t pixels = (sizeWord & 0x0FFF) / step * step;
            std::vector<uint8_t> payload(PackedBytes(packing, pixels));
            fuzz::Tile(seed, payload.data(), payload.size());
            const uint8_t* second =
                packing == RawPacking::kSplit ? payload.data() + payload.size() / 2 : nullptr;
            std::vector<uint16_t> fast(pixels);
            std::vector<uint16_t> plain(pixels);
            // The fast path may compute what the table holds: only a built table is a match.
            const DepthLut* lut = withTable && table.built ? &table.lut : nullptr;
            UnpackPixels(packing, payload.data(), second, pixels, lut, fast.data());
            UnpackPixelsPortable(packing, payload.data(), second, pixels, lut, plain.data());
            if (fast != plain) {
                __builtin_trap();
            }
            break;
        }
        case 1: {  // row split: rows of two packed 640-pixel halves
            const RawPacking packing = kRowPackings[(sizeWord >> 8) % 4];
            const uint32_t rows = sizeWord % 16 + 1;
            const uint32_t rowBytes = static_cast<uint32_t>(2 * PackedBytes(packing, kTofWidth));
            std::vector<uint8_t> payload(size_t{rows} * rowBytes);
            fuzz::Tile(seed, payload.data(), payload.size());
            std::vector<uint16_t> depth(size_t{rows} * kTofWidth);
            std::vector<uint16_t> ir(size_t{rows} * kTofWidth);
            DecodeRowSplit(payload.data(), packing, rows, rowBytes, table.lut, depth.data(),
                           withTable ? ir.data() : nullptr);
            break;
        }
        case 2:    // column split: any multiple of 1920 bytes
        case 3: {  // pair interleave: any multiple of 3840 bytes
            const bool columns = which == 2;
            const size_t length = static_cast<size_t>(sizeWord % 16 + 1) * (columns ? 1920 : 3840);
            std::vector<uint8_t> payload(length);
            fuzz::Tile(seed, payload.data(), payload.size());
            std::vector<uint16_t> depth(length / 1920 * kTofWidth);
            std::vector<uint16_t> ir(depth.size());
            (columns ? DecodeColumnSplit : DecodePairInterleaved)(payload.data(), length, table.lut,
                                                                  depth.data(), ir.data());
            break;
        }
        default: {  // QVGA hole fill and doubling, any image size
            const uint32_t width = sizeWord % 64 + 1;
            const uint32_t height = (sizeWord >> 6) % 64 + 1;
            const size_t pixels = size_t{width} * height;
            std::vector<uint16_t> image(pixels);
            fuzz::Tile(seed, reinterpret_cast<uint8_t*>(image.data()), pixels * 2);
            std::vector<uint8_t> masks(2 * pixels);
            FillHoles(image.data(), width, height, masks.data(), masks.data() + pixels);
            std::vector<uint16_t> doubled(4 * pixels);
            DoubleImage(image.data(), width, height, doubled.data());
            break;
        }
    }
    return 0;
}
