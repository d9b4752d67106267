// Mapping of one synchronised set: colour onto depth, depth and IR onto colour. Depth and
// IR are mapped in the colour geometry divided by the colour scale k (3 for 1920-wide
// colour, 2 for 720, else 1) and enlarged back by k, nearest; colour onto depth reads the
// colour as shrunk by k (geometry::ShrinkByWhole3), sampling the delivered colour frame
// itself, which is only read.
//
// Threads: one Map at a time per mapper (the frame engine holds the mapping lock).
#pragma once

#include <cstdint>
#include <memory>

#include "imgproc/ImgPreProcess.h"
#include "pipeline/Frame.h"

namespace quorix {

struct MapSwitches {
    bool colourOnDepth = false;
    bool depthOnColour = false;
    bool irOnColour = false;
    bool ir8Bit = false;  // mapped IR as 8-bit grey (IR output mode 2)
};

class FrameMapper {
public:
    // The largest mapped depth or IR image (1920 x 1080 x 2) and mapped colour (VGA x 3).
    static constexpr uint32_t kWorkImageBytes = 4147200;
    static constexpr uint32_t kMappedColourBytes = 921600;
    // What Map made.
    static constexpr uint32_t kMadeColour = 1;
    static constexpr uint32_t kMadeDepth = 2;
    static constexpr uint32_t kMadeIR = 4;

    FrameMapper();
    ~FrameMapper();
    FrameMapper(const FrameMapper&) = delete;
    FrameMapper& operator=(const FrameMapper&) = delete;

    // k of a colour frame of width x height.
    static uint32_t ColourScale(uint32_t width, uint32_t height);

    // Maps `depth` (and `ir` when not null) with `colour` as the switches ask into the
    // mapped frames' buffers, with the record fields of the frame each was mapped from.
    // Returns the kMade bits of the frames written; a frame that does not fit is skipped.
    uint32_t Map(ImgPreProcess& pre, const Frame& depth, const Frame* ir, const Frame& colour,
                 const MapSwitches& switches, Frame& mappedColour, Frame& mappedDepth,
                 Frame& mappedIR);

private:
    struct Work;
    std::unique_ptr<Work> m_work;
};

}  // namespace quorix
