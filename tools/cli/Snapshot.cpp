// Checking a frame set and writing it as PNG images.
#include "cli/Snapshot.h"

#include <cstring>
#include <filesystem>

#include "cli/PlyFile.h"
#include "cli/PngFile.h"

namespace quorix::cli {

namespace {

size_t BytesPerPixel(uint32_t pixelFormat) {
    switch (pixelFormat) {
        case NsPixelDepth16:
        case NsPixelGrey16:
            return 2;
        case NsPixelGrey8:
            return 1;
        case NsPixelRGB24:
        case NsPixelBGR24:
            return 3;
        default:
            return 0;
    }
}

// Empty when the frame is usable with one of the `formats`, else why not.
std::string CheckFrame(const char* name, const NsFrame& frame,
                       std::initializer_list<uint32_t> formats) {
    bool known = false;
    for (uint32_t f : formats) {
        known = known || frame.pixelFormat == f;
    }
    const std::string what = std::string(name) + " frame: ";
    if (!known) {
        return what + "unexpected pixel format " + std::to_string(frame.pixelFormat);
    }
    const size_t needed =
        static_cast<size_t>(frame.width) * frame.height * BytesPerPixel(frame.pixelFormat);
    if (needed == 0 || frame.pFrameData == nullptr || frame.dataLen < needed) {
        return what + std::to_string(frame.width) + "x" + std::to_string(frame.height) + " needs " +
               std::to_string(needed) + " bytes, has " +
               std::to_string(frame.pFrameData == nullptr ? 0 : frame.dataLen);
    }
    return {};
}

// The frame's 16-bit pixels, copied out so their alignment is not the library's concern.
std::vector<uint16_t> Samples16(const NsFrame& frame) {
    std::vector<uint16_t> samples(static_cast<size_t>(frame.width) * frame.height);
    std::memcpy(samples.data(), frame.pFrameData, samples.size() * sizeof(uint16_t));
    return samples;
}

class Writer {
public:
    Writer(const std::string& folder, SnapshotResult& result)
        : m_folder(folder), m_result(result) {}

    bool Write(const char* name, const NsFrame& frame, PngFormat format, const void* pixels,
               const std::vector<PngText>& texts = {}) {
        const std::string path = (std::filesystem::path(m_folder) / name).string();
        if (!WritePng(path, frame.width, frame.height, format, pixels, texts, m_result.error)) {
            return false;
        }
        m_result.files.push_back(path);
        return true;
    }

private:
    const std::string& m_folder;
    SnapshotResult& m_result;
};

bool WriteDepth(Writer& writer, const NsFrame& frame, SnapshotResult& result) {
    const std::vector<uint16_t> depth = Samples16(frame);
    result.depth = FindDepthSpan(depth.data(), depth.size());
    std::vector<uint8_t> rgb(depth.size() * 3);
    ColouriseDepth(depth.data(), depth.size(), result.depth, rgb.data());
    std::vector<PngText> texts;
    if (result.depth.valid > 0) {
        texts = {{kDepthMinKey, std::to_string(result.depth.min)},
                 {kDepthMaxKey, std::to_string(result.depth.max)}};
    }
    return writer.Write(kDepthColourFile, frame, PngFormat::kRgb8, rgb.data(), texts) &&
           writer.Write(kDepthRawFile, frame, PngFormat::kGrey16, depth.data(),
                        {{"Description", "depth in millimetres; 0 and 65535 mean none"}});
}

bool WriteIr(Writer& writer, const NsFrame& frame) {
    if (frame.pixelFormat == NsPixelGrey8) {
        return writer.Write(kIrFile, frame, PngFormat::kGrey8, frame.pFrameData);
    }
    const std::vector<uint16_t> ir = Samples16(frame);
    std::vector<uint8_t> grey(ir.size());
    ScaleIrTo8Bit(ir.data(), ir.size(), grey.data());
    return writer.Write(kIrFile, frame, PngFormat::kGrey8, grey.data());
}

bool WriteColour(Writer& writer, const NsFrame& frame, const char* file) {
    const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
    std::vector<uint8_t> rgb(pixels * 3);
    ColourToRgb(static_cast<const uint8_t*>(frame.pFrameData), pixels, frame.pixelFormat,
                rgb.data());
    return writer.Write(file, frame, PngFormat::kRgb8, rgb.data());
}

// The points of the depth frame, coloured from the mapped colour frame when it covers the
// same pixels.
bool WritePointCloud(const std::string& folder, const SnapshotFrames& frames,
                     SnapshotResult& result) {
    const NsFrame& depth = *frames.depth;
    const size_t pixels = static_cast<size_t>(depth.width) * depth.height;
    std::vector<uint8_t> rgb;
    const NsFrame* mapped = frames.mappedColour;
    if (mapped != nullptr && mapped->width == depth.width && mapped->height == depth.height) {
        rgb.resize(pixels * 3);
        ColourToRgb(static_cast<const uint8_t*>(mapped->pFrameData), pixels, mapped->pixelFormat,
                    rgb.data());
    }
    const std::string path = (std::filesystem::path(folder) / kPointCloudFile).string();
    if (!WritePly(path, frames.points, pixels, rgb.empty() ? nullptr : rgb.data(), result.points,
                  result.error)) {
        return false;
    }
    result.files.push_back(path);
    result.pointCloud = path;
    result.colouredPoints = !rgb.empty();
    return true;
}

}  // namespace

bool WriteSnapshot(const SnapshotFrames& frames, const std::string& folder,
                   SnapshotResult& result) {
    result = {};
    if (frames.depth == nullptr && frames.ir == nullptr && frames.colour == nullptr) {
        result.error = "no frames to write";
        return false;
    }
    for (const std::string& fault :
         {frames.depth ? CheckFrame("depth", *frames.depth, {NsPixelDepth16}) : "",
          frames.ir ? CheckFrame("IR", *frames.ir, {NsPixelGrey16, NsPixelGrey8}) : "",
          frames.colour ? CheckFrame("colour", *frames.colour, {NsPixelRGB24, NsPixelBGR24}) : "",
          frames.mappedColour
              ? CheckFrame("mapped colour", *frames.mappedColour, {NsPixelRGB24, NsPixelBGR24})
              : ""}) {
        if (!fault.empty()) {
            result.error = fault;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        result.error = folder + ": " + ec.message();
        return false;
    }
    Writer writer(folder, result);
    return (frames.depth == nullptr || WriteDepth(writer, *frames.depth, result)) &&
           (frames.ir == nullptr || WriteIr(writer, *frames.ir)) &&
           (frames.colour == nullptr || WriteColour(writer, *frames.colour, kColourFile)) &&
           (frames.mappedColour == nullptr ||
            WriteColour(writer, *frames.mappedColour, kColourOnDepthFile)) &&
           (frames.depth == nullptr || frames.points == nullptr ||
            WritePointCloud(folder, frames, result));
}

}  // namespace quorix::cli
