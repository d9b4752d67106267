// The bare decode step of the end-to-end benchmark.
#include "BareDecode.h"

#include <turbojpeg.h>
#include <cstring>
#include <ctime>
#include <vector>

#include "NoProducer.h"
#include "imaging/RgbDecode.h"
#include "imaging/TofDecode.h"
#include "pipeline/FramePool.h"
#include "sim/ColourImage.h"
#include "sim/FrameBuilder.h"
#include "sim/SimState.h"

namespace quorix::bench {
namespace {

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// CPU milliseconds per call of `work` over `frames` calls.
template <class Work>
double PerCallMs(uint32_t frames, const Work& work) {
    work();  // warms caches and lazily made state
    const double start = ThreadCpuMs();
    for (uint32_t i = 0; i < frames; ++i) {
        work();
    }
    return (ThreadCpuMs() - start) / frames;
}

// The simulator's data frame for one capture: RAW12 depth and IR in a 0x23 sub-packet and
// the MJPEG image, as the camera process sends them.
struct Records {
    uint16_t width = 0;  // of the colour image
    uint16_t height = 0;
    std::vector<uint8_t> tof;     // sub-packet header and payload, as the reader queues it
    std::vector<uint8_t> colour;  // likewise
    sim::SensorState sensor;
};

bool MakeRecords(Records& records, std::string& error) {
    sim::SimState state = sim::MakeDefaultState(561, "127.0.0.2", "QXBENCH", 1);
    sim::SensorState& sensor = state.sensors[0];
    sensor.dataMode = 2;
    sim::PutU16(sensor.lens[2].data() + 2, records.width);
    sim::PutU16(sensor.lens[2].data() + 4, records.height);
    state.stream.packing = sim::TofPacking::kRaw12;
    state.stream.colour = sim::ColourFormat::kMjpeg;
    records.sensor = sensor;

    sim::FrameBuilder builder;
    const std::vector<uint8_t>& frame =
        builder.Build(sim::CaptureOf(state, 0), 1, nullptr, nullptr);
    const uint8_t* payload = frame.data() + sim::kFrameHeaderBytes;
    const size_t size = frame.size() - sim::kFrameHeaderBytes;
    for (const sim::SubPacket& p : sim::ListSubPackets(payload, size)) {
        const uint8_t* begin = payload + p.offset - sim::kSubHeaderBytes;
        const uint8_t* end = payload + p.offset + p.length;
        if (p.type == 0x23) {
            records.tof.assign(begin, end);
        } else if (p.type == sim::MjpegTypeByte(records.width, records.height)) {
            records.colour.assign(begin, end);
        }
    }
    if (records.tof.empty() || records.colour.empty()) {
        error = "the simulator's frame holds no 0x23 or no typed MJPEG sub-packet";
        return false;
    }
    return true;
}

Frame RecordFrame(std::vector<uint8_t>& bytes, uint32_t frameSet) {
    Frame raw;
    raw.pFrameData = bytes.data();
    raw.dataLen = raw.capacity = static_cast<uint32_t>(bytes.size());
    raw.frameSet = frameSet;
    return raw;
}

bool MeasureTjDecompress(uint32_t frames, const Records& records, BareCosts& costs,
                         std::string& error) {
    const auto jpeg = sim::MjpegTestImage(records.width, records.height);
    if (jpeg == nullptr) {
        error = "no MJPEG image from the simulator";
        return false;
    }
    costs.jpegBytes = static_cast<uint32_t>(jpeg->size());
    std::vector<uint8_t> bgr(size_t{records.width} * records.height * 3);
    tjhandle tj = tjInitDecompress();
    int failures = 0;
    costs.tjDecompressMs = PerCallMs(frames, [&] {
        failures += tjDecompress2(tj, jpeg->data(), static_cast<unsigned long>(jpeg->size()),
                                  bgr.data(), records.width, 0, records.height, TJPF_BGR, 0) != 0;
    });
    tjDestroy(tj);
    if (failures != 0) {
        error = "tjDecompress2 failed";
        return false;
    }
    return true;
}

bool MeasureTofDecode(uint32_t frames, Records& records, BareCosts& costs, std::string& error) {
    NoProducer producer;
    TofDecode decoder(&producer, nullptr);
    decoder.SetDataMode(2);
    decoder.SetDepthRange(records.sensor.depthRange);
    // The tables from the camera's own ranges and offsets, as the session sets them.
    for (uint8_t g = 0; g < 3; ++g) {
        RangeOffset offset;
        offset.bytes[0] = g;
        for (size_t i = 0; i < 9; ++i) {
            sim::PutU16(offset.bytes + 1 + 2 * i, records.sensor.rangeOffsets[g][i]);
        }
        decoder.SetRangeOffset(g, offset);
        const auto& v = records.sensor.measuringRanges[g];
        decoder.SetMeasuringRange(
            g, NsMeasuringRange{g, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]});
    }
    const Frame raw = RecordFrame(records.tof, kFrameSetDepth | kFrameSetIR);
    Frame* depth = decoder.DepthQueue().AllocFrame(kPoolDepth);
    Frame* ir = decoder.IRQueue().AllocFrame(kPoolIR);
    uint32_t kinds = kFrameSetDepth | kFrameSetIR;
    costs.tofDecodeMs = PerCallMs(frames, [&] { kinds &= decoder.DecodeRecord(raw, depth, ir); });
    decoder.DepthQueue().Release(depth);
    decoder.IRQueue().Release(ir);
    if (kinds != (kFrameSetDepth | kFrameSetIR)) {
        error = "TofDecode::DecodeRecord did not fill depth and IR";
        return false;
    }
    return true;
}

bool MeasureRgbDecode(uint32_t frames, Records& records, BareCosts& costs, std::string& error) {
    RgbDecode decoder(nullptr, nullptr, 2);
    decoder.SetOutputFormat(NsPixelBGR24);
    decoder.SetMode(records.width, records.height, 30);
    const Frame raw = RecordFrame(records.colour, kFrameSetColour);
    Frame* frame = decoder.Queue().AllocFrame(kPoolColour);
    uint32_t decoded = 1;
    costs.rgbDecodeMs = PerCallMs(frames, [&] {
        decoder.DecodeRGB(raw, *frame);
        decoded = decoded != 0 && frame->dataLen != 0;
    });
    decoder.Queue().Release(frame);
    if (decoded == 0) {
        error = "RgbDecode::DecodeRGB decoded nothing";
        return false;
    }
    return true;
}

// A set's frames and raw records filled as the pipeline fills them, then given back (the
// pool zeroes what was written); only the return is timed.
void MeasurePoolReturn(uint32_t frames, const Records& records, BareCosts& costs) {
    struct Kind {
        int32_t type;
        uint32_t bytes;
    };
    const Kind kinds[] = {
        {kPoolRawTof, static_cast<uint32_t>(records.tof.size())},
        {kPoolRawColour, static_cast<uint32_t>(records.colour.size())},
        {kPoolDepth, kDepthBytes},
        {kPoolIR, kIRBytes},
        {kPoolColour, uint32_t{records.width} * records.height * 3},
    };
    double total = 0;
    for (const Kind& kind : kinds) {
        FramePool pool(kind.type, 1);
        for (uint32_t i = 0; i < frames; ++i) {
            Frame* f = pool.AllocFrame(kind.type);
            MarkWritten(*f, kind.bytes);
            memset(f->pFrameData, 0x55, kind.bytes);
            f->dataLen = kind.bytes;
            const double start = ThreadCpuMs();
            pool.Release(f);
            total += ThreadCpuMs() - start;
        }
    }
    costs.poolReturnMs = total / frames;
}

void MeasureDeliveryCopy(uint32_t frames, const Records& records, BareCosts& costs) {
    const size_t bytes =
        size_t{kDepthBytes} + kIRBytes + size_t{records.width} * records.height * 3;
    std::vector<uint8_t> from(bytes, 0x55);
    std::vector<uint8_t> to(bytes);
    costs.deliveryCopyMs = PerCallMs(frames, [&] {
        memcpy(to.data(), from.data(), bytes);
        asm volatile("" : : "r"(to.data()) : "memory");
    });
}

}  // namespace

bool MeasureBareDecode(uint32_t frames, uint16_t colourWidth, uint16_t colourHeight,
                       BareCosts& costs, std::string& error) {
    costs = BareCosts{};
    costs.frames = frames == 0 ? 1 : frames;
    Records records;
    records.width = colourWidth;
    records.height = colourHeight;
    if (!MakeRecords(records, error) || !MeasureTjDecompress(costs.frames, records, costs, error) ||
        !MeasureTofDecode(costs.frames, records, costs, error) ||
        !MeasureRgbDecode(costs.frames, records, costs, error)) {
        return false;
    }
    MeasurePoolReturn(costs.frames, records, costs);
    MeasureDeliveryCopy(costs.frames, records, costs);
    return true;
}

}  // namespace quorix::bench
