// Seeded sensor noise and the ground-truth measures of the simulated scene.
#include "sim/Noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "sim/Scene.h"

namespace quorix::sim {
namespace {

constexpr uint16_t kBeyondCode = 4095;

// SplitMix64: small, fast and good enough for noise; one stream per capture and image.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    float Uniform() { return static_cast<float>(Next() >> 40) * (1.0f / 16777216.0f); }

private:
    uint64_t m_state;
};

// Standard normal quantiles at 4096 evenly spaced probabilities: a table lookup per pixel
// keeps a noisy VGA stream cheap for the simulator.
const std::array<float, 4096>& NormalTable() {
    static const std::array<float, 4096> table = [] {
        std::array<float, 4096> t{};
        for (size_t i = 0; i < t.size(); ++i) {
            const double p = (static_cast<double>(i) + 0.5) / static_cast<double>(t.size());
            double lo = -6.0;
            double hi = 6.0;
            for (int k = 0; k < 60; ++k) {
                const double mid = 0.5 * (lo + hi);
                (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
            }
            t[i] = static_cast<float>(0.5 * (lo + hi));
        }
        return t;
    }();
    return table;
}

uint64_t StreamSeed(uint64_t seed, uint32_t frameIndex, uint64_t image) {
    Random mix(seed ^ (uint64_t{frameIndex} << 20) ^ (image << 56));
    return mix.Next();
}

bool Measured(uint16_t code) {
    return code != 0 && code != kBeyondCode;
}

uint16_t ClampCode(float value) {
    return static_cast<uint16_t>(std::clamp(value + 0.5f, 1.0f, 4094.0f));
}

bool IsStep(uint16_t a, uint16_t b) {
    if (!Measured(a) || !Measured(b)) {
        return false;
    }
    const int diff = std::abs(int{a} - int{b});
    return diff * 100 > 6 * std::max(a, b);
}

}  // namespace

void AddDepthNoise(const uint16_t* clean, uint16_t* noisy, uint32_t width, uint32_t height,
                   uint32_t frameIndex, const NoiseSettings& s) {
    const auto& normal = NormalTable();
    Random random(StreamSeed(s.seed, frameIndex, 1));
    std::copy_n(clean, width, noisy);  // the frame stamp
    for (uint32_t y = 1; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = size_t{y} * width + x;
            const uint16_t code = clean[i];
            const uint64_t draw = random.Next();
            if (!Measured(code)) {
                noisy[i] = code;
                continue;
            }
            // Draw bits: 12 for the normal, 24 for the dropout, 24 for the flying pixel.
            const float dropout = static_cast<float>((draw >> 12) & 0xFFFFFF) / 16777216.0f;
            if (dropout < s.dropoutShare) {
                noisy[i] = 0;
                continue;
            }
            float value = static_cast<float>(code);
            // The neighbour across a step, if any (the largest difference).
            uint16_t other = code;
            const uint16_t neighbours[4] = {
                x > 0 ? clean[i - 1] : code, x + 1 < width ? clean[i + 1] : code,
                y > 1 ? clean[i - width] : code, y + 1 < height ? clean[i + width] : code};
            for (uint16_t n : neighbours) {
                if (IsStep(code, n) &&
                    std::abs(int{n} - int{code}) > std::abs(int{other} - int{code})) {
                    other = n;
                }
            }
            if (other != code) {
                const float fly = static_cast<float>((draw >> 36) & 0xFFFFFF) / 16777216.0f;
                if (fly < s.flyingShare) {
                    // Somewhere between the two sides, as a pixel that sees both does.
                    const float t = 0.15f + 0.7f * random.Uniform();
                    value += t * (static_cast<float>(other) - value);
                }
            }
            const float sigma = s.sigmaCodes + s.sigmaRelative * value;
            noisy[i] = ClampCode(value + sigma * normal[draw & 0xFFF]);
        }
    }
}

void AddIrNoise(const uint16_t* clean, uint16_t* noisy, uint32_t width, uint32_t height,
                uint32_t frameIndex, const NoiseSettings& s) {
    const auto& normal = NormalTable();
    Random random(StreamSeed(s.seed, frameIndex, 2));
    std::copy_n(clean, width, noisy);
    for (size_t i = width; i < size_t{width} * height; ++i) {
        const uint16_t code = clean[i];
        const uint64_t draw = random.Next();
        if (code >= kBeyondCode) {
            noisy[i] = code;  // saturated stays saturated
            continue;
        }
        const float value = static_cast<float>(code);
        const float sigma = s.irSigmaCodes + s.irSigmaRelative * value;
        noisy[i] = static_cast<uint16_t>(
            std::clamp(value + sigma * normal[draw & 0xFFF] + 0.5f, 0.0f, 4094.0f));
    }
}

std::vector<uint16_t> SceneDepthCodes(uint32_t frameIndex) {
    std::vector<uint16_t> codes(size_t{kSceneWidth} * kSceneHeight);
    for (uint32_t y = 0; y < kSceneHeight; ++y) {
        FillDepthRow(y, frameIndex, codes.data() + size_t{y} * kSceneWidth);
    }
    return codes;
}

std::vector<uint16_t> SceneIrCodes(uint32_t frameIndex) {
    std::vector<uint16_t> codes(size_t{kSceneWidth} * kSceneHeight);
    for (uint32_t y = 0; y < kSceneHeight; ++y) {
        FillIrRow(y, frameIndex, codes.data() + size_t{y} * kSceneWidth);
    }
    return codes;
}

uint16_t CodeToMm(uint16_t code, uint16_t depthMax) {
    if (code == 0) {
        return 0;
    }
    if (code >= kBeyondCode) {
        return 65535;
    }
    return static_cast<uint16_t>((uint32_t{code} * depthMax + 2048) / 4096);
}

std::vector<uint16_t> CodesToMm(const std::vector<uint16_t>& codes, uint16_t depthMax) {
    std::vector<uint16_t> mm(codes.size());
    std::transform(codes.begin(), codes.end(), mm.begin(),
                   [depthMax](uint16_t c) { return CodeToMm(c, depthMax); });
    return mm;
}

std::vector<uint8_t> FlatMask(uint32_t frameIndex) {
    constexpr int kInside = 4;
    std::vector<uint8_t> mask(size_t{kSceneWidth} * kSceneHeight, 0);
    const int centre = static_cast<int>(SphereCentreX(frameIndex));
    const int keepOff = static_cast<int>(kSphereRadius) + kInside;
    for (int y = kInside; y < static_cast<int>(kSceneHeight) - kInside; ++y) {
        for (int x = kInside; x < static_cast<int>(kSceneWidth) - kInside; ++x) {
            const Surface s = SurfaceAt(x, y);
            if (s == Surface::kBeyond || s == Surface::kNoReturn) {
                continue;
            }
            const int dx = x - centre;
            const int dy = y - static_cast<int>(kSphereCentreY);
            if (dx * dx + dy * dy < keepOff * keepOff) {
                continue;
            }
            bool same = true;
            for (int wy = -kInside; wy <= kInside && same; ++wy) {
                for (int wx = -kInside; wx <= kInside && same; ++wx) {
                    same = SurfaceAt(x + wx, y + wy) == s;
                }
            }
            mask[size_t(y) * kSceneWidth + x] = same ? 1 : 0;
        }
    }
    return mask;
}

std::vector<uint8_t> StillFlatMask() {
    std::vector<uint8_t> mask = FlatMask(0);
    const size_t from = size_t{kSphereFirstRow - 4} * kSceneWidth;
    const size_t to = size_t{kSphereLastRow + 5} * kSceneWidth;
    std::fill(mask.begin() + static_cast<std::ptrdiff_t>(from),
              mask.begin() + static_cast<std::ptrdiff_t>(to), 0);
    return mask;
}

std::vector<uint8_t> StepMask(const std::vector<uint16_t>& cleanCodes, uint32_t reach) {
    const int w = static_cast<int>(kSceneWidth);
    const int h = static_cast<int>(kSceneHeight);
    std::vector<uint8_t> step(cleanCodes.size(), 0);
    for (int y = 1; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            if ((x + 1 < w && IsStep(cleanCodes[i], cleanCodes[i + 1])) ||
                (y + 1 < h && IsStep(cleanCodes[i], cleanCodes[i + w]))) {
                step[i] = 1;
            }
        }
    }
    std::vector<uint8_t> mask(cleanCodes.size(), 0);
    const int r = static_cast<int>(reach);
    for (int y = 1; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            if (!Measured(cleanCodes[i])) {
                continue;
            }
            bool near = false;
            for (int wy = std::max(1, y - r); wy <= std::min(h - 1, y + r) && !near; ++wy) {
                for (int wx = std::max(0, x - r); wx <= std::min(w - 1, x + r) && !near; ++wx) {
                    near = step[size_t(wy) * w + wx] != 0;
                }
            }
            mask[i] = near ? 1 : 0;
        }
    }
    return mask;
}

ErrorStats ErrorOver(const uint16_t* image, const uint16_t* truth,
                     const std::vector<uint8_t>& mask) {
    ErrorStats e;
    double squares = 0;
    double absolute = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == 0) {
            continue;
        }
        const bool truthHas = truth[i] != 0 && truth[i] != 65535;
        const bool imageHas = image[i] != 0 && image[i] != 65535;
        if (truthHas && imageHas) {
            const double d = static_cast<double>(image[i]) - truth[i];
            squares += d * d;
            absolute += std::fabs(d);
            ++e.measured;
        } else if (truthHas) {
            ++e.missing;
        } else if (imageHas) {
            ++e.invented;
        }
    }
    if (e.measured > 0) {
        e.rms = std::sqrt(squares / static_cast<double>(e.measured));
        e.meanAbs = absolute / static_cast<double>(e.measured);
    }
    return e;
}

}  // namespace quorix::sim
