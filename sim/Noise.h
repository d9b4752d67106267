// Sensor noise for the simulated scene, drawn from a seed so that every capture is
// reproducible: Gaussian depth noise that grows with distance, flying pixels (a mix of
// both sides) at depth steps, and dropouts (no return). IR gets Gaussian noise that grows
// with brightness. Row 0 (the frame stamp) and the patches beyond range (4095) and without
// return (0) stay exact, so a host still reads the capture index.
//
// Also the measures that tests and benchmarks use to judge a filter against the scene's
// ground truth: which pixels lie on flat surfaces and which near depth steps, and the error
// of an image over such a set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix::sim {

struct NoiseSettings {
    bool enabled = false;
    uint64_t seed = 1;
    float sigmaCodes = 1.0f;       // depth noise floor, raw codes
    float sigmaRelative = 0.006f;  // plus this share of the code (0.6 % of the distance)
    float flyingShare = 0.5f;      // share of the pixels at a depth step that fly
    float dropoutShare = 0.01f;    // share of the pixels that lose their return
    float irSigmaCodes = 4.0f;     // IR noise floor
    float irSigmaRelative = 0.03f;
};

// Noisy raw codes of capture `frameIndex` from its clean codes (width x height; rows of
// `clean` as Scene fills them). The same settings and index always give the same image.
void AddDepthNoise(const uint16_t* clean, uint16_t* noisy, uint32_t width, uint32_t height,
                   uint32_t frameIndex, const NoiseSettings& settings);
void AddIrNoise(const uint16_t* clean, uint16_t* noisy, uint32_t width, uint32_t height,
                uint32_t frameIndex, const NoiseSettings& settings);

// The clean raw depth codes of capture `frameIndex`, 640 x 480.
std::vector<uint16_t> SceneDepthCodes(uint32_t frameIndex);
std::vector<uint16_t> SceneIrCodes(uint32_t frameIndex);

// Depth in mm of a raw code as a decode table with full scale `depthMax` gives it inside
// the range (rounded, 0 for code 0, 65535 for 4095).
uint16_t CodeToMm(uint16_t code, uint16_t depthMax);
std::vector<uint16_t> CodesToMm(const std::vector<uint16_t>& codes, uint16_t depthMax);

// Pixel sets of the clean codes of capture `frameIndex`.
// Flat: pixels at least 4 pixels inside one still surface (wall, box face, floor), away
// from the frame stamp and the moving sphere.
std::vector<uint8_t> FlatMask(uint32_t frameIndex);
// The same for every capture: also away from the rows the sphere sweeps.
std::vector<uint8_t> StillFlatMask();
// Near a step: pixels with distance within `reach` pixels of a depth step (neighbours that
// differ by more than 6 % of the depth).
std::vector<uint8_t> StepMask(const std::vector<uint16_t>& cleanCodes, uint32_t reach);

struct ErrorStats {
    double rms = 0;  // over the pixels where truth and image both have distance
    double meanAbs = 0;
    size_t measured = 0;
    size_t missing = 0;   // truth has distance, the image none
    size_t invented = 0;  // truth has none, the image some
};
ErrorStats ErrorOver(const uint16_t* image, const uint16_t* truth,
                     const std::vector<uint8_t>& mask);

}  // namespace quorix::sim
