// Colour test image, its JPEG encodings (cached per size) and its NV12 form.
#include "sim/ColourImage.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "log/Log.h"
#include "sim/Scene.h"
#include "sim/SimState.h"

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

namespace {

void GradientPixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint8_t* rgb) {
    const uint32_t w = width > 1 ? width - 1 : 1;
    const uint32_t h = height > 1 ? height - 1 : 1;
    rgb[0] = static_cast<uint8_t>(255 * x / w);
    rgb[1] = static_cast<uint8_t>(255 * y / h);
    rgb[2] = 128;
}

// The colour of depth pixel (u, v)'s surface.
void SurfaceColour(uint32_t u, uint32_t v, uint8_t* rgb) {
    switch (SurfaceAt(u, v)) {
        case Surface::kBox: {
            const bool frame = u < 48 || u >= 192 || v < 168 || v >= 312;
            const uint8_t box[3] = {220, 30, 30};
            const uint8_t white[3] = {240, 240, 240};
            std::memcpy(rgb, frame ? white : box, 3);
            return;
        }
        case Surface::kFloor: {
            const bool light = ((u / 40) + (v / 20)) % 2 == 0;
            rgb[0] = light ? 90 : 30;
            rgb[1] = light ? 210 : 150;
            rgb[2] = light ? 110 : 50;
            return;
        }
        case Surface::kBeyond:
            rgb[0] = rgb[1] = rgb[2] = 60;
            return;
        default:
            rgb[0] = static_cast<uint8_t>(40 + u / 8);
            rgb[1] = static_cast<uint8_t>(80 + v / 6);
            rgb[2] = 210;
            return;
    }
}

// The colour camera's intrinsics for an image of width x height, as hosts derive them
// from the 1920 x 1080 calibration (640 x 480 is the middle 4:3 of 640 x 360, enlarged).
void ColourCamera(const SensorState& s, uint32_t width, uint32_t height, double& fx, double& fy,
                  double& cx, double& cy) {
    const auto& k = s.colourIntrinsic;
    if (width == 640 && height == 480) {
        const double third = 1.0 / 3.0;
        fx = k[0] * third * 4 / 3;
        fy = k[4] * third * 4 / 3;
        cx = (k[2] * third - 80.0) * 4 / 3;
        cy = k[5] * third * 4 / 3;
        return;
    }
    const double sx = width / 1920.0;
    const double sy = height / 1080.0;
    fx = k[0] * sx;
    fy = k[4] * sy;
    cx = k[2] * sx;
    cy = k[5] * sy;
}

std::vector<uint8_t> RenderScene(uint32_t width, uint32_t height) {
    std::vector<uint8_t> image(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            GradientPixel(x, y, width, height, &image[(size_t{y} * width + x) * 3]);
        }
    }
    const SimState state = MakeDefaultState(0, "127.0.0.2", "render", 1);
    const SensorState& s = state.sensors[0];
    const RangeLimits range0 = LimitsOfRange(s, 0);
    double fx, fy, cx, cy;
    ColourCamera(s, width, height, fx, fy, cx, cy);
    const auto& kd = s.depthIntrinsic;
    const auto& r = s.rotation;
    const auto& t = s.translation;
    // Each depth pixel covers about this many colour pixels across (and one more, so
    // neighbours always meet).
    const int spread = static_cast<int>(std::ceil(fx / kd[0])) + 1;
    std::vector<float> nearest(size_t{width} * height, 1e30f);
    for (uint32_t v = 0; v < kSceneHeight; ++v) {
        for (uint32_t u = 0; u < kSceneWidth; ++u) {
            const uint16_t code = StillDepthCode(u, v);
            if (code == 0 || SurfaceAt(u, v) == Surface::kNoReturn) {
                continue;
            }
            const double z = static_cast<double>(code) * range0.depthMax / 4096.0;
            const double px = (u - kd[2]) / kd[0] * z;
            const double py = (v - kd[5]) / kd[4] * z;
            const double qx = r[0] * px + r[1] * py + r[2] * z + t[0];
            const double qy = r[3] * px + r[4] * py + r[5] * z + t[1];
            const double qz = r[6] * px + r[7] * py + r[8] * z + t[2];
            if (qz <= 1.0) {
                continue;
            }
            const int x0 = static_cast<int>(std::floor(fx * qx / qz + cx - spread / 2.0 + 0.5));
            const int y0 = static_cast<int>(std::floor(fy * qy / qz + cy - spread / 2.0 + 0.5));
            uint8_t rgb[3];
            SurfaceColour(u, v, rgb);
            for (int y = std::max(y0, 0); y < std::min(y0 + spread, static_cast<int>(height));
                 ++y) {
                for (int x = std::max(x0, 0); x < std::min(x0 + spread, static_cast<int>(width));
                     ++x) {
                    const size_t i = size_t(y) * width + x;
                    if (qz < nearest[i]) {
                        nearest[i] = static_cast<float>(qz);
                        std::memcpy(&image[i * 3], rgb, 3);
                    }
                }
            }
        }
    }
    return image;
}

// The rendered image of a size, made once.
std::shared_ptr<const std::vector<uint8_t>> Rendered(uint32_t width, uint32_t height) {
    static std::mutex lock;
    static std::map<uint32_t, std::shared_ptr<const std::vector<uint8_t>>> cache;
    std::lock_guard guard(lock);
    auto& entry = cache[width << 16 | height];
    if (!entry) {
        entry = std::make_shared<const std::vector<uint8_t>>(RenderScene(width, height));
    }
    return entry;
}

}  // namespace

std::vector<uint8_t> TestImage(uint32_t width, uint32_t height) {
    return *Rendered(width, height);
}

void TestImagePixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint8_t* rgb) {
    std::memcpy(rgb, &(*Rendered(width, height))[(size_t{y} * width + x) * 3], 3);
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
