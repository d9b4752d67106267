// Decoding one VGA ToF frame in every packing and layout, against a memcpy floor of the
// same bytes. "Fast" is the path chosen at run time, "Table" the portable table loop.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "NoProducer.h"
#include "imaging/DepthDecodeTable.h"
#include "imaging/TofDecode.h"
#include "imaging/TofUnpack.h"

namespace quorix {
namespace {

constexpr size_t kPixels = size_t{kTofWidth} * 480;

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 rng(1);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out) {
        b = static_cast<uint8_t>(rng());
    }
    return out;
}

struct Lut {
    Lut() { BuildDepthDecodeTable({5000, 4800, 300, 12}, table.data(), &lut); }
    std::vector<uint16_t> table = std::vector<uint16_t>(kDepthTableEntries);
    DepthLut lut;
};

void Memcpy(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> src = RandomBytes(bytes);
    std::vector<uint8_t> dst(bytes);
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(Memcpy)->Arg(460800)->Arg(614400)->Arg(921600)->Arg(1228800);

enum Path { kFast, kTable };

template <RawPacking kPacking, Path kPath, bool kDepth>
void Unpack(benchmark::State& state) {
    const Lut lut;
    const std::vector<uint8_t> payload = RandomBytes(PackedBytes(kPacking, kPixels));
    const uint8_t* second = payload.data() + payload.size() / 2;
    std::vector<uint16_t> out(kPixels);
    for (auto _ : state) {
        const DepthLut* l = kDepth ? &lut.lut : nullptr;
        if (kPath == kFast) {
            UnpackPixels(kPacking, payload.data(), second, kPixels, l, out.data());
        } else {
            UnpackPixelsPortable(kPacking, payload.data(), second, kPixels, l, out.data());
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
    state.SetLabel(kPath == kFast ? UnpackTargetName() : "table");
}

#define QUORIX_UNPACK_BENCH(packing)                                                     \
    BENCHMARK(Unpack<RawPacking::packing, kFast, true>)->Name(#packing "/Depth/Fast");   \
    BENCHMARK(Unpack<RawPacking::packing, kTable, true>)->Name(#packing "/Depth/Table"); \
    BENCHMARK(Unpack<RawPacking::packing, kFast, false>)->Name(#packing "/IR/Fast")

QUORIX_UNPACK_BENCH(kRaw12);
QUORIX_UNPACK_BENCH(kMsb12);
QUORIX_UNPACK_BENCH(kIso12);
QUORIX_UNPACK_BENCH(kY16);
QUORIX_UNPACK_BENCH(kSplit);

// Combined payloads: one depth and one IR frame.
template <class Decode>
void Combined(benchmark::State& state, size_t bytes, const Decode& decode) {
    const Lut lut;
    const std::vector<uint8_t> payload = RandomBytes(bytes);
    std::vector<uint16_t> depth(kPixels);
    std::vector<uint16_t> ir(kPixels);
    for (auto _ : state) {
        decode(payload.data(), lut.lut, depth.data(), ir.data());
        benchmark::DoNotOptimize(depth.data());
        benchmark::DoNotOptimize(ir.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void RowSplitMsb12(benchmark::State& state) {
    Combined(state, 921600, [](const uint8_t* p, const DepthLut& l, uint16_t* d, uint16_t* i) {
        DecodeRowSplit(p, RawPacking::kMsb12, 480, 1920, l, d, i);
    });
}
BENCHMARK(RowSplitMsb12);

void RowSplitY16(benchmark::State& state) {
    Combined(state, 1228800, [](const uint8_t* p, const DepthLut& l, uint16_t* d, uint16_t* i) {
        DecodeRowSplit(p, RawPacking::kY16, 480, 2560, l, d, i);
    });
}
BENCHMARK(RowSplitY16);

void ColumnSplit(benchmark::State& state) {
    Combined(state, 921600, [](const uint8_t* p, const DepthLut& l, uint16_t* d, uint16_t* i) {
        DecodeColumnSplit(p, 921600, l, d, i);
    });
}
BENCHMARK(ColumnSplit);

void PairInterleaved360(benchmark::State& state) {
    Combined(state, 691200, [](const uint8_t* p, const DepthLut& l, uint16_t* d, uint16_t* i) {
        DecodePairInterleaved(p, 691200, l, d, i);
    });
}
BENCHMARK(PairInterleaved360);

void QvgaFillAndDouble(benchmark::State& state) {
    std::vector<uint16_t> source(kQvgaPixels);
    std::mt19937 rng(2);
    for (uint16_t& v : source) {
        v = rng() % 8 == 0 ? 0 : static_cast<uint16_t>(1000 + rng() % 50);
    }
    std::vector<uint16_t> image(kQvgaPixels);
    std::vector<uint8_t> masks(2 * kQvgaPixels);
    std::vector<uint16_t> out(kPixels);
    for (auto _ : state) {
        image = source;
        FillHoles(image.data(), kQvgaWidth, kQvgaHeight, masks.data(), masks.data() + kQvgaPixels);
        DoubleImage(image.data(), kQvgaWidth, kQvgaHeight, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(QvgaFillAndDouble);

// The whole sub-packet path of the decoder (dispatch, table lock, frame fields), RAW12 depth.

void DecodeADIRaw12(benchmark::State& state) {
    NoProducer producer;
    TofDecode decoder(&producer, nullptr);
    decoder.SetMeasuringRange(0, {1, 5000, 5000, 5000, 4800, 4800, 4800, 300, 300, 300});
    std::vector<uint8_t> packet = RandomBytes(460805);
    packet[0] = 0x21;
    packet[1] = 460800 & 0xFF;
    packet[2] = (460800 >> 8) & 0xFF;
    packet[3] = 460800 >> 16;
    Frame* depth = decoder.DepthQueue().AllocFrame(kPoolDepth);
    Frame* ir = decoder.IRQueue().AllocFrame(kPoolIR);
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.DecodeADI(packet.data(), packet.size(), depth, ir));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 460800));
    decoder.DepthQueue().Release(depth);
    decoder.IRQueue().Release(ir);
}
BENCHMARK(DecodeADIRaw12);

}  // namespace
}  // namespace quorix

BENCHMARK_MAIN();
