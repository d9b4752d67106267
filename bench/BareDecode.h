// The bare cost of decoding one frame set of the simulated camera, measured inside the
// benchmark's own process with the internal decoders (the public interface does not
// expose them): the simulator's own payloads, decoded again and again on one thread.
#pragma once

#include <cstdint>
#include <string>

namespace quorix::bench {

// CPU milliseconds per operation (this thread's CPU clock), averaged over the frames.
struct BareCosts {
    uint32_t frames = 0;
    uint32_t jpegBytes = 0;     // size of the simulator's MJPEG image
    double tjDecompressMs = 0;  // tjDecompress2 of that image into BGR
    double tofDecodeMs = 0;     // TofDecode::DecodeRecord of the RAW12 0x23 record
    double rgbDecodeMs = 0;     // RgbDecode::DecodeRGB of the colour record (library)
    double poolReturnMs = 0;    // giving one set's frames and raw records back to pools
    double deliveryCopyMs = 0;  // copying one set's decoded pixels once (memcpy)
    double BarePerSetMs() const { return tjDecompressMs + tofDecodeMs; }
};

// Measures `frames` rounds of each, with colour of the given size (one the camera sends
// typed: 1920x1080, 1280x720, 640x480 or 640x360). False, with `error` filled, when a
// payload cannot be made or a decode fails.
bool MeasureBareDecode(uint32_t frames, uint16_t colourWidth, uint16_t colourHeight,
                       BareCosts& costs, std::string& error);

}  // namespace quorix::bench
