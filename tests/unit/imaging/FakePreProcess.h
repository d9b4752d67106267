// A pre-processing object for the decoders' tests: records the calls they make (the colour
// steps as text, the depth ones as values), rotates by swapping the sizes, crops and resizes
// (nearest neighbour) 16-bit and 24-bit images, and fills a colour conversion's output with
// 0x5A. Everything else does nothing and succeeds.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "imgproc/ImgPreProcess.h"

namespace quorix::test {

class FakePreProcess : public ImgPreProcess {
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

    std::vector<std::string> calls;  // ConvertColour, Crop, Resize, ProcessColour
    std::vector<ValidDepth> validDepths;
    std::vector<Size> filteredDepth;
    std::vector<Size> filteredIR;
    std::vector<int32_t> rotations;
    int32_t convertResult = 0;

    static std::string Describe(const ImageDescriptor& d) {
        return std::to_string(d.type) + ":" + std::to_string(d.width) + "x" +
               std::to_string(d.height);
    }

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
    // Records its arguments and the first input byte.
    int32_t ConvertColour(ImageDescriptor* image, int32_t one, int32_t in, int32_t out) override {
        calls.push_back("ConvertColour " + Describe(*image) + " " + std::to_string(one) + " " +
                        std::to_string(in) + " " + std::to_string(out) + " first " +
                        std::to_string(image->data[0]));
        if (convertResult == 0) {
            memset(image->data, 0x5A, image->width * image->height * 3);
        }
        return convertResult;
    }
    int32_t Crop(ImageDescriptor* image, uint32_t x, uint32_t y, uint32_t width,
                 uint32_t height) override {
        calls.push_back("Crop " + Describe(*image) + " " + std::to_string(x) + " " +
                        std::to_string(y) + " " + std::to_string(width) + "x" +
                        std::to_string(height));
        const uint32_t bytes = PixelBytes(*image);
        for (uint32_t row = 0; row < height; ++row) {
            memmove(image->data + row * width * bytes,
                    image->data + ((y + row) * image->width + x) * bytes, width * bytes);
        }
        image->width = width;
        image->height = height;
        return 0;
    }
    int32_t Resize(ImageDescriptor* image, uint32_t width, uint32_t height, int32_t) override {
        calls.push_back("Resize " + Describe(*image) + " " + std::to_string(width) + "x" +
                        std::to_string(height));
        const uint32_t bytes = PixelBytes(*image);
        const std::vector<uint8_t> src(image->data,
                                       image->data + image->width * image->height * bytes);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t sx = x * image->width / width, sy = y * image->height / height;
                memcpy(image->data + (y * width + x) * bytes,
                       &src[(sy * image->width + sx) * bytes], bytes);
            }
        }
        image->width = width;
        image->height = height;
        return 0;
    }
    int32_t ProcessColour(ImageDescriptor* image) override {
        calls.push_back("ProcessColour " + Describe(*image));
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
    int32_t ComputeFrame(ImageDescriptor*, int32_t) override { return 0; }
    int32_t ProcessSpecial(ImageDescriptor*, ImageDescriptor*, int32_t, int32_t, int32_t,
                           uint8_t*) override {
        return 0;
    }
    int32_t ConvertIRTo8Bit(uint32_t, uint32_t, uint8_t*, const uint16_t*) override { return 0; }
    int32_t SetOutOfMaxRangeEnabled(bool) override { return 0; }
    int32_t SetTimeFilterOnDepthEnabled(bool) override { return 0; }
    int32_t SetAlgorithmType(int32_t) override { return 0; }

private:
    static uint32_t PixelBytes(const ImageDescriptor& d) { return d.type == kImage16Bit ? 2 : 3; }
};

}  // namespace quorix::test
