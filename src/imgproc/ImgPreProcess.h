// The image pre-processing interface: one object per frame engine holding the filters,
// undistortion and mapping state of one camera. Get_APIImgPreProcess() makes ours.
// Results: 0 success, non-zero failure. Operations marked "in place" work on the
// descriptor's buffer, which must hold the largest image the operation can produce.
#pragma once

#include <cstdint>
#include <memory>

#include "quorix/quorix_api.h"

namespace quorix {

// Image types of a descriptor.
enum ImageType : uint32_t {
    kImage8Bit = 1,     // one byte per sample: 8-bit grey, or YUYV (2 bytes per pixel)
    kImage8BitRgb = 2,  // three bytes per pixel
    kImage16Bit = 3,    // one 16-bit sample per pixel (depth, IR)
};

struct ImageDescriptor {
    uint8_t* data = nullptr;
    uint32_t type = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// Calibration block given to Init: depth matrix 9, depth distortion 8, colour matrix 9,
// colour distortion 8, rotation 9, translation 3.
inline constexpr int kCalibrationDoubles = 46;
// Filter-parameter record given to SetSensorConfig.
inline constexpr int kSensorConfigBytes = 22;

// Colour formats of ConvertColour: inputs as the colour decoder names them, outputs 3/4.
enum ColourFormat : int32_t {
    kColourRGB = 3,
    kColourBGR = 4,
    kColourNV12 = 5,  // 640x480 4:2:0, a Y plane then interleaved U and V
    kColourYUYV = 6,  // 4:2:2 packed Y0 U Y1 V
};

// Rotate types: a quarter turn clockwise, a half turn, a quarter turn counter-clockwise.
enum RotateType : int32_t { kRotate90Cw = 0, kRotate180 = 1, kRotate90Ccw = 2 };
// Flip codes: horizontal (mirror columns), vertical (mirror rows), both.
enum FlipCode : int32_t { kFlipHorizontal = 1, kFlipVertical = 0, kFlipBoth = -1 };

class ImgPreProcess {
public:
    virtual ~ImgPreProcess() = default;

    virtual int32_t Init(const double* calibration, const char* configFolder) = 0;
    // sensor 0 depth, 1 colour; matrix row-major 3x3.
    virtual int32_t SetCameraMatrix(int32_t sensor, const double* matrix, uint32_t height,
                                    uint32_t width) = 0;
    virtual int32_t SetAuxTable(uint16_t tag, const void* table, uint32_t count) = 0;
    virtual int32_t SetSensorConfig(const uint8_t* record) = 0;
    // colourResolution: width in the low 16 bits, height in the high 16 bits.
    virtual int32_t MapDepthPointToColour(const NsDepthVector3& depthPoint,
                                          uint32_t colourResolution,
                                          NsDepthVector3* colourPoint) = 0;
    // range 0..8, or 256 for the WDR pair; limits in millimetres for the depth filters.
    virtual int32_t SetValidDepth(uint32_t range, uint32_t maxMm, uint32_t minMm) = 0;
    virtual int32_t SetIrDistortionCorrectionEnabled(bool enabled) = 0;
    virtual int32_t GetIrDistortionCorrectionEnabled(bool* enabled) = 0;
    virtual int32_t FilterIR(ImageDescriptor* ir) = 0;
    virtual int32_t SetRGBCorrectionEnabled(bool enabled) = 0;
    virtual int32_t GetRGBCorrectionEnabled(bool* enabled) = 0;
    virtual int32_t SetRGBDistortionCorrectionEnabled(bool enabled) = 0;
    virtual int32_t GetRGBDistortionCorrectionEnabled(bool* enabled) = 0;
    // Converts the descriptor's image from inputFormat to outputFormat (3 RGB, 4 BGR) in
    // place; the buffer must hold width x height x 3 bytes. `one` is always 1.
    virtual int32_t ConvertColour(ImageDescriptor* image, int32_t one, int32_t inputFormat,
                                  int32_t outputFormat) = 0;
    virtual int32_t ProcessColour(ImageDescriptor* colour) = 0;
    virtual int32_t SetComputeRealDepthCorrectionEnabled(bool enabled) = 0;
    virtual int32_t GetComputeRealDepthCorrectionEnabled(bool* enabled) = 0;
    virtual int32_t SetDepthDistortionCorrectionEnabled(bool enabled) = 0;
    virtual int32_t GetDepthDistortionCorrectionEnabled(bool* enabled) = 0;
    virtual int32_t SetSmoothingFilterEnabled(bool enabled) = 0;
    virtual int32_t GetSmoothingFilterEnabled(bool* enabled) = 0;
    virtual int32_t SetTimeFilterEnabled(bool enabled) = 0;
    virtual int32_t GetTimeFilterEnabled(bool* enabled) = 0;
    virtual int32_t SetSpatialFilterEnabled(bool enabled) = 0;
    virtual int32_t GetSpatialFilterEnabled(bool* enabled) = 0;
    virtual int32_t SetSensorFlag(uint32_t flag) = 0;
    virtual int32_t FilterDepth(ImageDescriptor* depth) = 0;
    virtual int32_t MapDepthToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                     ImageDescriptor* mappedDepth) = 0;
    virtual int32_t MapColourToDepth(ImageDescriptor* depth, ImageDescriptor* colour,
                                     ImageDescriptor* mappedColour) = 0;
    // MapColourToDepth of `colour` shrunk by a whole `scale` (1 to 4) as
    // geometry::ShrinkByWhole3 shrinks it, read from `colour` itself: no shrunk copy is made.
    virtual int32_t MapShrunkColourToDepth(ImageDescriptor* depth, ImageDescriptor* colour,
                                           uint32_t scale, ImageDescriptor* mappedColour) = 0;
    // MapShrunkColourToDepth and MapDepthToColour onto the shrunk colour geometry at once,
    // from one projection where both take the same colour pixel for each depth pixel.
    virtual int32_t MapDepthAndShrunkColour(ImageDescriptor* depth, ImageDescriptor* colour,
                                            uint32_t scale, ImageDescriptor* mappedDepth,
                                            ImageDescriptor* mappedColour) = 0;
    virtual int32_t MapIRToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                  ImageDescriptor* ir, ImageDescriptor* mappedIr) = 0;
    virtual int32_t MapDepthAndIRToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                          ImageDescriptor* ir, ImageDescriptor* mappedDepth,
                                          ImageDescriptor* mappedIr) = 0;
    virtual int32_t Flip(ImageDescriptor* image, int32_t code) = 0;
    // Resizes in place and updates the descriptor; `one` is always 1. The buffer must hold
    // the larger of the two sizes.
    virtual int32_t Resize(ImageDescriptor* image, uint32_t width, uint32_t height,
                           int32_t one) = 0;
    virtual int32_t Crop(ImageDescriptor* image, uint32_t x, uint32_t y, uint32_t width,
                         uint32_t height) = 0;
    // Rotates in place; the descriptor's width and height are written back.
    virtual int32_t Rotate(ImageDescriptor* image, int32_t rotateType) = 0;
    virtual int32_t ComputeFrame(ImageDescriptor* output, int32_t request) = 0;
    virtual int32_t ProcessSpecial(ImageDescriptor* mappedDepth, ImageDescriptor* colour,
                                   int32_t mode, int32_t low, int32_t high, uint8_t* result) = 0;
    virtual int32_t ConvertIRTo8Bit(uint32_t height, uint32_t width, uint8_t* destination,
                                    const uint16_t* source) = 0;

    // The further switches and parameters reached through the session and the ini file.
    virtual int32_t SetOutOfMaxRangeEnabled(bool enabled) = 0;
    virtual int32_t SetTimeFilterOnDepthEnabled(bool enabled) = 0;
    virtual int32_t SetAlgorithmType(int32_t type) = 0;

    // Forgets what the filters carry from frame to frame (the temporal filter's history):
    // the frame engine calls it when the stream stops or the data mode changes.
    virtual int32_t ResetFilters() { return 0; }
};

// A new pre-processing object (never null).
std::unique_ptr<ImgPreProcess> Get_APIImgPreProcess();

}  // namespace quorix
