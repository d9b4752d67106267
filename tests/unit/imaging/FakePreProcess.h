// A pre-processing object for the decoders' tests: records the calls they make (the colour
// steps as text, the depth ones as values), rotates by swapping the sizes, crops and resizes
// (nearest neighbour) 16-bit and 24-bit images, and fills a colour conversion's output with
// 0x5A. Everything else is the real object's.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "imgproc/ImgPreProcessImpl.h"

namespace quorix::test {

class FakePreProcess : public ImgPreProcessImpl {
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
    uint32_t filterResets = 0;

    static std::string Describe(const ImageDescriptor& d) {
        return std::to_string(d.type) + ":" + std::to_string(d.width) + "x" +
               std::to_string(d.height);
    }

    int32_t SetValidDepth(uint32_t range, uint32_t maxMm, uint32_t minMm) override {
        validDepths.push_back({range, maxMm, minMm});
        return 0;
    }
    int32_t ResetFilters() override {
        ++filterResets;
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

private:
    static uint32_t PixelBytes(const ImageDescriptor& d) { return d.type == kImage16Bit ? 2 : 3; }
};

}  // namespace quorix::test
