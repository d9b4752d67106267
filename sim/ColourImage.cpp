// Colour test image, its JPEG encodings (cached per size) and its NV12 form.
#include "sim/ColourImage.h"

#include <turbojpeg.h>

#include <cmath>
#include <map>
#include <mutex>

#include "log/Log.h"

namespace quorix::sim {

uint8_t MjpegTypeByte(uint32_t width, uint32_t height) {
    if (width == 1920 && height == 1080) {
        return '1';
    }
    if (width == 1280 && height == 720) {
        return '2';
    }
    if (width == 640 && height == 360) {
        return '3';
    }
    if (width == 640 && height == 480) {
        return '4';
    }
    return kColourUntypedMjpeg;
}

void TestImagePixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint8_t* rgb) {
    const uint32_t w = width > 1 ? width - 1 : 1;
    const uint32_t h = height > 1 ? height - 1 : 1;
    rgb[0] = static_cast<uint8_t>(255 * x / w);
    rgb[1] = static_cast<uint8_t>(255 * y / h);
    rgb[2] = 128;
    if (y >= height / 4 && y < height / 2) {
        static constexpr uint8_t kBlocks[3][3] = {{220, 30, 30}, {30, 200, 60}, {40, 60, 220}};
        for (uint32_t b = 0; b < 3; ++b) {
            const uint32_t left = (2 * b + 1) * width / 8;
            if (x >= left && x < left + width / 8) {
                rgb[0] = kBlocks[b][0];
                rgb[1] = kBlocks[b][1];
                rgb[2] = kBlocks[b][2];
            }
        }
    }
}

std::vector<uint8_t> TestImage(uint32_t width, uint32_t height) {
    std::vector<uint8_t> image(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            TestImagePixel(x, y, width, height, &image[(size_t{y} * width + x) * 3]);
        }
    }
    return image;
}

namespace {

using Encoded = std::shared_ptr<const std::vector<uint8_t>>;

std::shared_ptr<const std::vector<uint8_t>> Encode(uint32_t width, uint32_t height) {
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) {
        QLOG("tjInitCompress failed: %s\n", tjGetErrorStr2(nullptr));
        return nullptr;
    }
    const std::vector<uint8_t> image = TestImage(width, height);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int status =
        tjCompress2(handle, image.data(), static_cast<int>(width), 0, static_cast<int>(height),
                    TJPF_RGB, &jpeg, &size, TJSAMP_422, kMjpegQuality, 0);
    Encoded result;
    if (status != 0) {
        QLOG("tjCompress2 %ux%u failed: %s\n", width, height, tjGetErrorStr2(handle));
    } else {
        result = std::make_shared<const std::vector<uint8_t>>(jpeg, jpeg + size);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return result;
}

uint8_t ToByte(double v) {
    return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

}  // namespace

std::shared_ptr<const std::vector<uint8_t>> MjpegTestImage(uint32_t width, uint32_t height) {
    if (width < 16 || height < 16 || width > kMaxColourWidth || height > kMaxColourHeight) {
        QLOG("colour size %ux%u is invalid.\n", width, height);
        return nullptr;
    }
    static std::mutex lock;
    static std::map<uint32_t, Encoded> cache;  // at most 1920 x 1080 sizes, in practice four
    const uint32_t key = width << 16 | height;
    std::lock_guard guard(lock);
    Encoded& entry = cache[key];
    if (!entry) {
        entry = Encode(width, height);
    }
    return entry;
}

std::shared_ptr<const std::vector<uint8_t>> Nv12TestImage() {
    static const Encoded image = [] {
        auto out = std::make_shared<std::vector<uint8_t>>(kNv12Bytes);
        const std::vector<uint8_t> rgb = TestImage(kNv12Width, kNv12Height);
        uint8_t* luma = out->data();
        uint8_t* chroma = luma + kNv12Width * kNv12Height;
        auto at = [&](uint32_t x, uint32_t y) { return &rgb[(size_t{y} * kNv12Width + x) * 3]; };
        for (uint32_t y = 0; y < kNv12Height; ++y) {
            for (uint32_t x = 0; x < kNv12Width; ++x) {
                const uint8_t* p = at(x, y);
                luma[y * kNv12Width + x] =
                    ToByte(16.0 + 0.256788 * p[0] + 0.504129 * p[1] + 0.097906 * p[2]);
            }
        }
        for (uint32_t y = 0; y < kNv12Height; y += 2) {
            for (uint32_t x = 0; x < kNv12Width; x += 2) {
                double r = 0, g = 0, b = 0;
                for (uint32_t k = 0; k < 4; ++k) {
                    const uint8_t* p = at(x + (k & 1), y + k / 2);
                    r += p[0] / 4.0;
                    g += p[1] / 4.0;
                    b += p[2] / 4.0;
                }
                uint8_t* uv = chroma + (y / 2) * kNv12Width + x;
                uv[0] = ToByte(128.0 - 0.148223 * r - 0.290993 * g + 0.439216 * b);
                uv[1] = ToByte(128.0 + 0.439216 * r - 0.367788 * g - 0.071427 * b);
            }
        }
        return Encoded(std::move(out));
    }();
    return image;
}

}  // namespace quorix::sim
