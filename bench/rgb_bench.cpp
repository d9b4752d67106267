// Colour decoding against a bare TurboJPEG decode of the same image, and the cost of
// returning a colour frame to its pool against zeroing the bytes a decode wrote.
#include <benchmark/benchmark.h>

#include <turbojpeg.h>
#include <cstring>
#include <vector>

#include "imaging/RgbDecode.h"
#include "pipeline/FramePool.h"

namespace quorix {
namespace {

struct Picture {
    int width;
    int height;
    uint8_t type;  // the raw record's type byte naming that size
};
constexpr Picture kPictures[] = {{1920, 1080, '1'}, {640, 480, '4'}};

// A camera-like picture: gradients with some texture, 4:2:0, quality 85.
std::vector<uint8_t> MakeJpeg(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>((x * y) >> 4);
        }
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 85, 0);
    std::vector<uint8_t> jpeg(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

void BM_RgbDecodeMjpeg(benchmark::State& state) {
    const Picture& pic = kPictures[state.range(0)];
    const std::vector<uint8_t> jpeg = MakeJpeg(pic.width, pic.height);
    std::vector<uint8_t> record(jpeg.size() + 5);
    const auto len = static_cast<uint32_t>(jpeg.size());
    const uint8_t header[5] = {pic.type, static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                               static_cast<uint8_t>(len >> 16), 0};
    memcpy(record.data(), header, 5);
    memcpy(record.data() + 5, jpeg.data(), jpeg.size());
    Frame raw;
    raw.pFrameData = record.data();
    raw.dataLen = raw.capacity = static_cast<uint32_t>(record.size());

    RgbDecode decoder(nullptr, nullptr, 2);  // one frame is the decoder's own
    decoder.SetOutputFormat(3);
    Frame* frame = decoder.Queue().AllocFrame(kPoolColour);
    for (auto _ : state) {
        decoder.DecodeRGB(raw, *frame);
        benchmark::DoNotOptimize(frame->dataLen);
    }
    if (frame->dataLen == 0) {
        state.SkipWithError("decode failed");
    }
    decoder.Queue().Release(frame);
    state.SetLabel(std::to_string(pic.width) + "x" + std::to_string(pic.height));
}
BENCHMARK(BM_RgbDecodeMjpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BareTjDecompress2(benchmark::State& state) {
    const Picture& pic = kPictures[state.range(0)];
    const std::vector<uint8_t> jpeg = MakeJpeg(pic.width, pic.height);
    std::vector<uint8_t> out(static_cast<size_t>(pic.width) * pic.height * 3);
    tjhandle tj = tjInitDecompress();
    for (auto _ : state) {
        const int ret = tjDecompress2(tj, jpeg.data(), jpeg.size(), out.data(), pic.width, 0,
                                      pic.height, TJPF_RGB, 0);
        benchmark::DoNotOptimize(ret);
    }
    tjDestroy(tj);
    state.SetLabel(std::to_string(pic.width) + "x" + std::to_string(pic.height));
}
BENCHMARK(BM_BareTjDecompress2)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A colour frame that a decode of the given size filled, given back to its pool.
void BM_ColourFrameRelease(benchmark::State& state) {
    const Picture& pic = kPictures[state.range(0)];
    const auto written = static_cast<uint32_t>(pic.width * pic.height * 3);
    FramePool pool(kPoolColour, 1);
    for (auto _ : state) {
        state.PauseTiming();
        Frame* frame = pool.AllocFrame(kPoolColour);
        MarkWritten(*frame, written);  // as the decoder does
        memset(frame->pFrameData, 0x55, written);
        frame->width = static_cast<uint16_t>(pic.width);
        frame->height = static_cast<uint16_t>(pic.height);
        frame->dataLen = written;
        state.ResumeTiming();
        pool.Release(frame);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * written);
    state.SetLabel(std::to_string(pic.width) + "x" + std::to_string(pic.height));
}
BENCHMARK(BM_ColourFrameRelease)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The least a release must do: zero the bytes that were written.
void BM_MemsetWritten(benchmark::State& state) {
    const Picture& pic = kPictures[state.range(0)];
    const auto written = static_cast<size_t>(pic.width) * pic.height * 3;
    std::vector<uint8_t> buffer(kColourBytes);
    for (auto _ : state) {
        state.PauseTiming();
        memset(buffer.data(), 0x55, written);
        state.ResumeTiming();
        memset(buffer.data(), 0, written);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * written));
    state.SetLabel(std::to_string(pic.width) + "x" + std::to_string(pic.height));
}
BENCHMARK(BM_MemsetWritten)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorix
