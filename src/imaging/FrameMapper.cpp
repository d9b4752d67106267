#include "imaging/FrameMapper.h"

#include <cstring>
#include <vector>

#include "imgproc/ImageGeometry.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"

namespace quorix {

struct FrameMapper::Work {
    std::vector<uint8_t> depth = std::vector<uint8_t>(kWorkImageBytes);
    std::vector<uint8_t> ir = std::vector<uint8_t>(kWorkImageBytes);
    std::vector<uint8_t> grey = std::vector<uint8_t>(kWorkImageBytes / 2);
};

namespace {

uint32_t BytesPerPixel(uint32_t type) {
    return type == kImage16Bit ? 2 : type == kImage8BitRgb ? 3 : 1;
}

// The record of a mapped frame holding `image`: its size, and the fields of `source`.
void TakeFields(const ImageDescriptor& image, const Frame& source, uint32_t frameType,
                int32_t pixelFormat, Frame& held) {
    held.frameType = frameType;
    held.pixelFormat = pixelFormat;
    held.width = static_cast<uint16_t>(image.width);
    held.height = static_cast<uint16_t>(image.height);
    held.dataLen = image.width * image.height * BytesPerPixel(image.type);
    held.frameIndex = source.frameIndex;
    held.exposureTime = source.exposureTime;
    held.depthRange = source.depthRange;
    held.frameTag = source.frameTag;
    held.timestamp = source.timestamp;
}

// Copies a mapping result, enlarged by `scale`, into `held` when it fits both its work
// buffer and the frame, with the record fields of `source`.
bool Store(const ImageDescriptor& image, uint32_t workBytes, const Frame& source,
           uint32_t frameType, int32_t pixelFormat, uint32_t scale, Frame& held) {
    const uint32_t bytesPerPixel = BytesPerPixel(image.type);
    const uint64_t bytes = uint64_t{image.width} * image.height * bytesPerPixel;
    const uint64_t width = uint64_t{image.width} * scale;
    const uint64_t height = uint64_t{image.height} * scale;
    const uint64_t stored = bytes * scale * scale;
    if (bytes == 0 || bytes > workBytes || stored > held.capacity || width > UINT16_MAX ||
        height > UINT16_MAX) {
        QLOG_WARN("mapped frame %u: w %u h %u (x %u) does not fit.\n", frameType, image.width,
                  image.height, scale);
        return false;
    }
    if (scale == 1) {
        memcpy(held.pFrameData, image.data, bytes);
    } else {
        // Enlarged straight into the held frame (nearest: depth never blends across edges).
        geometry::EnlargeByWhole(image.data, image.width, image.height, held.pFrameData,
                                 bytesPerPixel, scale);
    }
    TakeFields(ImageDescriptor{held.pFrameData, image.type, static_cast<uint32_t>(width),
                               static_cast<uint32_t>(height)},
               source, frameType, pixelFormat, held);
    return true;
}

}  // namespace

FrameMapper::FrameMapper() : m_work(std::make_unique<Work>()) {}
FrameMapper::~FrameMapper() = default;

uint32_t FrameMapper::ColourScale(uint32_t width, uint32_t height) {
    if (width == 1920 || height == 1920) {
        return 3;
    }
    if (width == 720 || height == 720) {
        return 2;
    }
    return 1;
}

uint32_t FrameMapper::Map(ImgPreProcess& pre, const Frame& depth, const Frame* ir,
                          const Frame& colour, const MapSwitches& switches, Frame& mappedColour,
                          Frame& mappedDepth, Frame& mappedIR) {
    const uint32_t w = colour.width;
    const uint32_t h = colour.height;
    const uint32_t k = ColourScale(w, h);
    if (w == 0 || h == 0 || uint64_t{w} * h * 3 > colour.dataLen) {
        QLOG("colour w %u h %u does not fit its %u bytes.\n", w, h, colour.dataLen);
        return 0;
    }
    if (uint64_t{w / k} * (h / k) * 3 > kMappedColourBytes) {
        QLOG("colour w %u h %u is too large to map.\n", w, h);
        return 0;
    }
    // Colour onto depth reads the delivered frame (never written) through its shrunk view;
    // depth and IR onto colour need only the shrunk geometry's size, so no shrunk copy is
    // made at all.
    ImageDescriptor fullColour{colour.pFrameData, kImage8BitRgb, w, h};
    ImageDescriptor colourImage{colour.pFrameData, kImage8BitRgb, w / k, h / k};
    Work& work = *m_work;
    ImageDescriptor depthImage{depth.pFrameData, kImage16Bit, depth.width, depth.height};
    ImageDescriptor irImage{};
    if (ir != nullptr) {
        irImage = ImageDescriptor{ir->pFrameData, kImage16Bit, ir->width, ir->height};
    }
    ImageDescriptor depthOnColour{work.depth.data(), kImage16Bit, 0, 0};
    ImageDescriptor irOnColour{work.ir.data(), kImage16Bit, 0, 0};

    uint32_t made = 0;
    // Depth and IR in colour geometry come back to the delivered colour frame's size (k).
    auto storeDepth = [&] {
        if (Store(depthOnColour, kWorkImageBytes, depth, MappedDepthFrame, depth.pixelFormat, k,
                  mappedDepth)) {
            made |= kMadeDepth;
        }
    };
    auto storeIR = [&] {
        int32_t format = ir->pixelFormat;
        const uint32_t pixels = irOnColour.width * irOnColour.height;
        if (switches.ir8Bit && pixels != 0 && pixels <= work.grey.size() &&
            pre.ConvertIRTo8Bit(irOnColour.height, irOnColour.width, work.grey.data(),
                                reinterpret_cast<const uint16_t*>(irOnColour.data)) == 0) {
            irOnColour.data = work.grey.data();
            irOnColour.type = kImage8Bit;
            format = NsPixelGrey8;
        }
        if (Store(irOnColour, kWorkImageBytes, *ir, MappedIRFrame, format, k, mappedIR)) {
            made |= kMadeIR;
        }
    };

    // Colour onto depth is written straight into its frame: no copy.
    ImageDescriptor onDepth{mappedColour.pFrameData, kImage8BitRgb, 0, 0};
    const bool colourFits = uint64_t{depth.width} * depth.height * 3 <= mappedColour.capacity;
    const bool withIR = switches.irOnColour && ir != nullptr;
    auto tookColour = [&] {
        TakeFields(onDepth, colour, MappedRGBFrame, colour.pixelFormat, mappedColour);
        made |= kMadeColour;
    };
    if (switches.colourOnDepth && switches.depthOnColour && !withIR && colourFits) {
        // Both directions from one projection.
        if (pre.MapDepthAndShrunkColour(&depthImage, &fullColour, k, &depthOnColour, &onDepth) ==
            0) {
            tookColour();
            storeDepth();
        }
        return made;
    }
    if (switches.colourOnDepth && colourFits &&
        pre.MapShrunkColourToDepth(&depthImage, &fullColour, k, &onDepth) == 0) {
        tookColour();
    }
    if (switches.depthOnColour) {
        if (withIR) {
            if (pre.MapDepthAndIRToColour(&colourImage, &depthImage, &irImage, &depthOnColour,
                                          &irOnColour) == 0) {
                storeDepth();
                storeIR();
            }
        } else if (pre.MapDepthToColour(&colourImage, &depthImage, &depthOnColour) == 0) {
            storeDepth();
        }
    } else if (withIR && pre.MapIRToColour(&colourImage, &depthImage, &irImage, &irOnColour) == 0) {
        storeIR();
    }
    return made;
}

}  // namespace quorix
