// A pre-processing object for decoder tests: records the calls the decoders make, rotates by
// writing back swapped sizes, resizes by pixel repetition; everything else does nothing.
#pragma once

#include <cstring>
#include <vector>

#include "imgproc/ImgPreProcess.h"

namespace quorix::test {

class FakeImgPreProcess : public ImgPreProcess {
public:
    struct ValidDepth {
        uint32_t range;
        uint32_t maxMm;
        uint32_t minMm;
        bool operator==(const ValidDepth&) const = default;
    };
    struct Size {
        uint32_t width;
        uint32_t height;
        bool operator==(const Size&) const = default;
    };

    std::vector<ValidDepth> validDepths;
    std::vector<Size> filteredDepth;
    std::vector<Size> filteredIR;
    std::vector<int32_t> rotations;

    int32_t SetValidDepth(uint32_t range, uint32_t maxMm, uint32_t minMm) override {
        validDepths.push_back({range, maxMm, minMm});
        return 0;
    }
    int32_t FilterIR(ImageDescriptor* ir) override {
        filteredIR.push_back({ir->width, ir->height});
        return 0;
    }
    int32_t FilterDepth(ImageDescriptor* depth) override {
        filteredDepth.push_back({depth->width, depth->height});
        return 0;
    }
    int32_t Rotate(ImageDescriptor* image, int32_t rotateType) override {
        rotations.push_back(rotateType);
        std::swap(image->width, image->height);
        return 0;
    }
    // Nearest-neighbour resize of a 16-bit image, in place.
    int32_t Resize(ImageDescriptor* image, uint32_t width, uint32_t height, int32_t) override {
        const auto* src = reinterpret_cast<const uint16_t*>(image->data);
        std::vector<uint16_t> out(size_t{width} * height);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                out[size_t{y} * width + x] = src[size_t{y * image->height / height} * image->width +
                                                 x * image->width / width];
            }
        }
        memcpy(image->data, out.data(), out.size() * 2);
        image->width = width;
        image->height = height;
        return 0;
    }

    int32_t Init(const double*, const char*) override { return 0; }
    int32_t SetCameraMatrix(int32_t, const double*, uint32_t, uint32_t) override { return 0; }
    int32_t SetAuxTable(uint16_t, const void*, uint32_t) override { return 0; }
    int32_t SetSensorConfig(const uint8_t*) override { return 0; }
    int32_t MapDepthPointToColour(const NsDepthVector3&, uint32_t, NsDepthVector3*) override {
        return 0;
    }
    int32_t SetIrDistortionCorrectionEnabled(bool) override { return 0; }
    int32_t GetIrDistortionCorrectionEnabled(bool*) override { return 0; }
    int32_t SetRGBCorrectionEnabled(bool) override { return 0; }
    int32_t GetRGBCorrectionEnabled(bool*) override { return 0; }
    int32_t SetRGBDistortionCorrectionEnabled(bool) override { return 0; }
    int32_t GetRGBDistortionCorrectionEnabled(bool*) override { return 0; }
    int32_t ConvertColour(ImageDescriptor*, int32_t, int32_t, int32_t) override { return 0; }
    int32_t ProcessColour(ImageDescriptor*) override { return 0; }
    int32_t SetComputeRealDepthCorrectionEnabled(bool) override { return 0; }
    int32_t GetComputeRealDepthCorrectionEnabled(bool*) override { return 0; }
    int32_t SetDepthDistortionCorrectionEnabled(bool) override { return 0; }
    int32_t GetDepthDistortionCorrectionEnabled(bool*) override { return 0; }
    int32_t SetSmoothingFilterEnabled(bool) override { return 0; }
    int32_t GetSmoothingFilterEnabled(bool*) override { return 0; }
    int32_t SetTimeFilterEnabled(bool) override { return 0; }
    int32_t GetTimeFilterEnabled(bool*) override { return 0; }
    int32_t SetSpatialFilterEnabled(bool) override { return 0; }
    int32_t GetSpatialFilterEnabled(bool*) override { return 0; }
    int32_t SetSensorFlag(uint32_t) override { return 0; }
    int32_t MapDepthToColour(ImageDescriptor*, ImageDescriptor*, ImageDescriptor*) override {
        return 0;
    }
    int32_t MapColourToDepth(ImageDescriptor*, ImageDescriptor*, ImageDescriptor*) override {
        return 0;
    }
    int32_t MapIRToColour(ImageDescriptor*, ImageDescriptor*, ImageDescriptor*,
                          ImageDescriptor*) override {
        return 0;
    }
    int32_t MapDepthAndIRToColour(ImageDescriptor*, ImageDescriptor*, ImageDescriptor*,
                                  ImageDescriptor*, ImageDescriptor*) override {
        return 0;
    }
    int32_t Flip(ImageDescriptor*, int32_t) override { return 0; }
    int32_t Crop(ImageDescriptor*, uint32_t, uint32_t, uint32_t, uint32_t) override { return 0; }
    int32_t ComputeFrame(ImageDescriptor*, int32_t) override { return 0; }
    int32_t ProcessSpecial(ImageDescriptor*, ImageDescriptor*, int32_t, int32_t, int32_t,
                           uint8_t*) override {
        return 0;
    }
    int32_t ConvertIRTo8Bit(uint32_t, uint32_t, uint8_t*, const uint16_t*) override { return 0; }
    int32_t SetOutOfMaxRangeEnabled(bool) override { return 0; }
    int32_t SetTimeFilterOnDepthEnabled(bool) override { return 0; }
    int32_t SetAlgorithmType(int32_t) override { return 0; }
};

}  // namespace quorix::test
