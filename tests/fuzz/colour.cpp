// The colour decoder. Byte 0, bit 7 clear: a raw colour record goes through one round of
// the decoder's worker, as the worker takes records from the frame engine (MJPEG, corrupt
// and cut JPEGs included). Bits 0-1 pick the colour mode (64x48, 640x360, 640x480,
// 1280x720), bits 2-3 the rotation (3: none), bit 4 BGR; bit 5: the rest is the whole
// record, else byte 1 is its type byte and the rest its payload.
// Bit 7 set: NV12 or YUYV (bit 0) conversion of any size (16-bit width and height
// follow, bit 6: up to the largest image, else small ones), the rest repeated into the
// samples, through the pre-processing interface, and the vector paths against the
// portable ones.
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "Tile.h"
#include "imaging/RgbDecode.h"
#include "imgproc/ColourConvert.h"
#include "imgproc/ImageGeometry.h"
#include "imgproc/ImgPreProcess.h"

using namespace quorix;
using geometry::kMaxImageBytes;

namespace {

// Hands the decoder one record per round.
class OneRecord final : public Producer {
public:
    void Set(Frame* record) { m_record = record; }
    void SetSingleFrameReady(uint8_t) override {}
    int32_t GetRawTofFrame(Frame*& frame) override {
        frame = nullptr;
        return -1;
    }
    int32_t GetRawRgbFrame(Frame*& frame) override {
        frame = m_record;
        m_record = nullptr;
        return frame != nullptr ? 0 : -1;
    }
    void ReleaseRawTofFrame(Frame*) override {}
    void ReleaseRawRgbFrame(Frame*) override {}

private:
    Frame* m_record = nullptr;
};

struct Decoder {
    std::unique_ptr<ImgPreProcess> preProcess = Get_APIImgPreProcess();
    OneRecord producer;
    RgbDecode rgb{&producer, preProcess.get()};
};

constexpr RgbDecode::Mode kModes[] = {
    {64, 48, 30}, {640, 360, 30}, {640, 480, 30}, {1280, 720, 30}};

void DecodeRecord(uint8_t flags, fuzz::FuzzInput& in) {
    static Decoder d;
    const RgbDecode::Mode& mode = kModes[flags & 3];
    d.rgb.SetMode(mode.width, mode.height, mode.fps);
    const uint16_t rotation = (flags >> 2) & 3;
    d.rgb.SetRotation(rotation == 3 ? RgbDecode::kNoRotation : rotation);
    d.rgb.SetOutputFormat((flags & 0x10) != 0 ? kColourBGR : kColourRGB);

    // The engine's raw colour record: as large as its pool's.
    static std::vector<uint8_t> buffer(kRawColourBytes);
    size_t length = 0;
    if ((flags & 0x20) != 0) {
        const auto record = in.Take(buffer.size());
        memcpy(buffer.data(), record.data(), record.size());
        length = record.size();
    } else {
        const uint8_t type = in.Byte();
        const auto payload = in.Take(buffer.size() - 5);
        buffer[0] = type;
        buffer[1] = static_cast<uint8_t>(payload.size());
        buffer[2] = static_cast<uint8_t>(payload.size() >> 8);
        buffer[3] = static_cast<uint8_t>(payload.size() >> 16);
        buffer[4] = 0;
        memcpy(buffer.data() + 5, payload.data(), payload.size());
        length = payload.size() + 5;
    }
    Frame raw;
    raw.pFrameData = buffer.data();
    raw.capacity = static_cast<uint32_t>(buffer.size());
    raw.dataLen = static_cast<uint32_t>(length);
    d.producer.Set(&raw);
    d.rgb.Step();
    while (Frame* frame = d.rgb.Queue().TryPop()) {
        if (frame->dataLen > frame->capacity ||
            size_t{frame->width} * frame->height * 3 != frame->dataLen) {
            __builtin_trap();  // a delivered frame says what it holds
        }
        d.rgb.Queue().Release(frame);
    }
}

void Convert(uint8_t flags, fuzz::FuzzInput& in) {
    static const std::unique_ptr<ImgPreProcess> preProcess = Get_APIImgPreProcess();
    const bool yuyv = (flags & 1) != 0;
    const bool bgr = (flags & 2) != 0;
    const uint32_t limit = (flags & 0x40) != 0 ? 2050 : 130;
    const uint32_t width = in.U16() % limit;
    const uint32_t height = in.U16() % limit;
    const auto seed = in.Rest();
    const size_t pixels = size_t{width} * height;

    // The caller's buffer holds the samples and takes three bytes a pixel back; sizes the
    // interface refuses get a buffer of the samples only, which it must not touch.
    const bool fits = pixels * 3 <= kMaxImageBytes;
    const size_t samples = yuyv ? pixels * 2 : pixels + pixels / 2;
    std::vector<uint8_t> image(fits ? pixels * 3 : std::min(samples, kMaxImageBytes));
    fuzz::Tile(seed, image.data(), std::min(samples, image.size()));
    const std::vector<uint8_t> input(image.begin(),
                                     image.begin() + std::min(samples, image.size()));
    ImageDescriptor descriptor{image.data(), kImage8Bit, width, height};
    const int32_t result = preProcess->ConvertColour(
        &descriptor, 1, yuyv ? kColourYUYV : kColourNV12, bgr ? kColourBGR : kColourRGB);
    if (result != 0 || !fits) {
        return;
    }
    // The vector paths give what the portable ones give.
    std::vector<uint8_t> plain(pixels * 3);
    if (yuyv) {
        colour::YuyvToRgbPortable(input.data(), plain.data(), pixels, bgr);
    } else {
        colour::Nv12ToRgbPortable(input.data(), input.data() + pixels, plain.data(), width, height,
                                  bgr);
    }
    if (memcmp(plain.data(), image.data(), plain.size()) != 0) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    if ((flags & 0x80) != 0) {
        Convert(flags, in);
    } else {
        DecodeRecord(flags, in);
    }
    return 0;
}
