// ImgPreProcessImpl: our image pre-processing object. Geometry, colour conversion,
// registration (the Map operations), undistortion (its three switches) and the depth and
// IR filters (imgproc/Filters.h) are real; the computed frame is not available and fails;
// the device-assist operation answers that it has nothing to send.
//
// FilterDepth, with any of the four depth switches on, runs in this order: the valid-depth
// limits of the last SetValidDepth (nearer than min: 0, farther than max: 65535), depth
// undistortion, radial-to-planar correction, smoothing (3x3 median), spatial filter,
// temporal filter. With all four off a frame is touched only by undistortion, when that
// is on. FilterIR undistorts, then smooths with the 3x3 median when the smoothing switch
// is on. The temporal history starts again on a range change (SetValidDepth with another
// range), an image size change, ResetFilters, and when the time filter is switched off.
//
// Threads: the depth decoder, the colour decoder and the application's thread call one
// object at the same time. Switches and settings are safe to touch from any thread; the
// operations that go through the work buffer (Resize, quarter turns, NV12, undistortion)
// take the object's lock for the time they use it; the Map operations take the mapping
// lock, which guards the projection tables they rebuild when the calibration changes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "imgproc/Filters.h"
#include "imgproc/ImageGeometry.h"
#include "imgproc/ImgPreProcess.h"
#include "imgproc/Registration.h"
#include "imgproc/Undistort.h"

namespace quorix {

class ImgPreProcessImpl : public ImgPreProcess {
public:
    ImgPreProcessImpl();
    ~ImgPreProcessImpl() override;

    ImgPreProcessImpl(const ImgPreProcessImpl&) = delete;
    ImgPreProcessImpl& operator=(const ImgPreProcessImpl&) = delete;

    int32_t Init(const double* calibration, const char* configFolder) override;
    int32_t SetCameraMatrix(int32_t sensor, const double* matrix, uint32_t height,
                            uint32_t width) override;
    int32_t SetAuxTable(uint16_t tag, const void* table, uint32_t count) override;
    int32_t SetSensorConfig(const uint8_t* record) override;
    int32_t MapDepthPointToColour(const NsDepthVector3& depthPoint, uint32_t colourResolution,
                                  NsDepthVector3* colourPoint) override;
    int32_t SetValidDepth(uint32_t range, uint32_t maxMm, uint32_t minMm) override;
    int32_t SetIrDistortionCorrectionEnabled(bool enabled) override;
    int32_t GetIrDistortionCorrectionEnabled(bool* enabled) override;
    int32_t FilterIR(ImageDescriptor* ir) override;
    int32_t SetRGBCorrectionEnabled(bool enabled) override;
    int32_t GetRGBCorrectionEnabled(bool* enabled) override;
    int32_t SetRGBDistortionCorrectionEnabled(bool enabled) override;
    int32_t GetRGBDistortionCorrectionEnabled(bool* enabled) override;
    int32_t ConvertColour(ImageDescriptor* image, int32_t one, int32_t inputFormat,
                          int32_t outputFormat) override;
    int32_t ProcessColour(ImageDescriptor* colour) override;
    int32_t SetComputeRealDepthCorrectionEnabled(bool enabled) override;
    int32_t GetComputeRealDepthCorrectionEnabled(bool* enabled) override;
    int32_t SetDepthDistortionCorrectionEnabled(bool enabled) override;
    int32_t GetDepthDistortionCorrectionEnabled(bool* enabled) override;
    int32_t SetSmoothingFilterEnabled(bool enabled) override;
    int32_t GetSmoothingFilterEnabled(bool* enabled) override;
    int32_t SetTimeFilterEnabled(bool enabled) override;
    int32_t GetTimeFilterEnabled(bool* enabled) override;
    int32_t SetSpatialFilterEnabled(bool enabled) override;
    int32_t GetSpatialFilterEnabled(bool* enabled) override;
    int32_t SetSensorFlag(uint32_t flag) override;
    int32_t FilterDepth(ImageDescriptor* depth) override;
    int32_t MapDepthToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                             ImageDescriptor* mappedDepth) override;
    int32_t MapColourToDepth(ImageDescriptor* depth, ImageDescriptor* colour,
                             ImageDescriptor* mappedColour) override;
    int32_t MapShrunkColourToDepth(ImageDescriptor* depth, ImageDescriptor* colour, uint32_t scale,
                                   ImageDescriptor* mappedColour) override;
    int32_t MapDepthAndShrunkColour(ImageDescriptor* depth, ImageDescriptor* colour, uint32_t scale,
                                    ImageDescriptor* mappedDepth,
                                    ImageDescriptor* mappedColour) override;
    int32_t MapIRToColour(ImageDescriptor* colour, ImageDescriptor* depth, ImageDescriptor* ir,
                          ImageDescriptor* mappedIr) override;
    int32_t MapDepthAndIRToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                  ImageDescriptor* ir, ImageDescriptor* mappedDepth,
                                  ImageDescriptor* mappedIr) override;
    int32_t Flip(ImageDescriptor* image, int32_t code) override;
    int32_t Resize(ImageDescriptor* image, uint32_t width, uint32_t height, int32_t one) override;
    int32_t Crop(ImageDescriptor* image, uint32_t x, uint32_t y, uint32_t width,
                 uint32_t height) override;
    int32_t Rotate(ImageDescriptor* image, int32_t rotateType) override;
    int32_t ComputeFrame(ImageDescriptor* output, int32_t request) override;
    int32_t ProcessSpecial(ImageDescriptor* mappedDepth, ImageDescriptor* colour, int32_t mode,
                           int32_t low, int32_t high, uint8_t* result) override;
    // 16-bit IR to 8 bits: min(value, 4095) >> 4. IR samples are 12-bit, so the full
    // 12-bit scale maps linearly onto 0..255 and anything above saturates at 255.
    // `destination` may be the source's own buffer.
    int32_t ConvertIRTo8Bit(uint32_t height, uint32_t width, uint8_t* destination,
                            const uint16_t* source) override;

    int32_t SetOutOfMaxRangeEnabled(bool enabled) override;
    int32_t SetTimeFilterOnDepthEnabled(bool enabled) override;
    int32_t SetAlgorithmType(int32_t type) override;
    int32_t ResetFilters() override;

    // The filters' parameters (tests and benchmarks change them; the defaults are the
    // documented ones).
    void SetFilterParams(const filters::SpatialParams& spatial,
                         const filters::TemporalParams& temporal);

    // Stored settings, for the filters and for tests.
    struct ValidDepth {
        uint32_t range = 65535;  // not set yet
        uint32_t maxMm = 0;
        uint32_t minMm = 0;
    };
    ValidDepth GetValidDepth() const;
    bool GetOutOfMaxRangeEnabled() const;
    bool GetTimeFilterOnDepthEnabled() const;
    uint32_t GetSensorFlag() const { return m_sensorFlag.load(); }
    int32_t GetAlgorithmType() const { return m_algorithmType.load(); }

private:
    enum Switch : uint32_t {
        kIrDistortion,
        kRgbCorrection,
        kRgbDistortion,
        kRealDepthCorrection,
        kDepthDistortion,
        kSmoothing,
        kTimeFilter,
        kSpatialFilter,
        kOutOfMaxRange,
        kTimeFilterOnDepth,
        kSwitchCount
    };
    // Operations that cannot work yet; each is logged once per object.
    enum Unavailable : uint32_t {
        kComputeFrame = 1u << 5,
    };
    // The calibration as the registration needs it, for a depth and a colour image size.
    struct Geometry {
        registration::Pinhole depth;
        registration::Pinhole colour;
        registration::Extrinsics extrinsics;
        uint64_t generation = 0;
    };
    // False, with a log line, when there is no usable calibration for these sizes.
    bool GeometryFor(uint32_t depthWidth, uint32_t depthHeight, uint32_t colourWidth,
                     uint32_t colourHeight, Geometry& out) const;
    // The sensor's matrix for an image of width x height (m_settingsLock held).
    bool CameraFor(int32_t sensor, uint32_t width, uint32_t height,
                   registration::Pinhole& out) const;
    // The table of `spread` for these sizes, rebuilt when the calibration changed; null
    // when there is none (m_mapLock held).
    const registration::ProjectionTable* TableFor(bool spread, uint32_t depthWidth,
                                                  uint32_t depthHeight, uint32_t colourWidth,
                                                  uint32_t colourHeight);
    // Common checks and the z-buffered mapping of MapDepthToColour, MapIRToColour and
    // MapDepthAndIRToColour; either output may be null.
    int32_t MapToColour(ImageDescriptor* colour, ImageDescriptor* depth, ImageDescriptor* ir,
                        ImageDescriptor* mappedDepth, ImageDescriptor* mappedIr,
                        const char* operation);
    // Undistorts `image` in place when `which` is on; the camera of `sensor` (0 depth and
    // IR, 1 colour) and its coefficients at `coefficientsAt` in the calibration block.
    int32_t Undistort(ImageDescriptor* image, Switch which, int32_t sensor, uint32_t coefficientsAt,
                      undistort::RemapTable& table, uint64_t& tableGeneration);

    int32_t SetSwitch(Switch which, bool enabled);
    int32_t GetSwitch(Switch which, bool* enabled) const;
    int32_t NotAvailable(Unavailable what, const char* name);
    // Bytes per pixel of a descriptor that is safe to work on; 0, with a log line naming
    // `operation`, when it is not.
    static uint32_t CheckImage(const ImageDescriptor* image, const char* operation);
    // CheckImage and, in addition, the one image type the operation takes.
    static uint32_t CheckImageOfType(const ImageDescriptor* image, uint32_t type,
                                     const char* operation);
    int32_t ConvertYuv(ImageDescriptor* image, int32_t inputFormat, bool bgr);

    std::array<std::atomic<bool>, kSwitchCount> m_switches{};
    std::atomic<uint32_t> m_reported{0};
    std::atomic<uint32_t> m_sensorFlag{0};
    std::atomic<int32_t> m_algorithmType{0};

    // Settings written at stream set-up and kept for registration and the filters.
    mutable std::mutex m_settingsLock;
    ValidDepth m_validDepth;
    std::array<double, kCalibrationDoubles> m_calibration{};
    bool m_hasCalibration = false;
    std::string m_configFolder;
    std::array<std::array<double, 9>, 2> m_cameraMatrix{};
    std::array<uint32_t, 2> m_matrixWidth{};
    std::array<uint32_t, 2> m_matrixHeight{};
    uint16_t m_auxTag = 0;
    uint32_t m_auxCount = 0;
    std::array<uint8_t, kSensorConfigBytes> m_sensorConfig{};
    uint64_t m_calibrationGeneration = 1;  // changes with every Init and SetCameraMatrix

    // Registration: tables and working rows, guarded by m_mapLock.
    std::mutex m_mapLock;
    registration::ProjectionTable m_spreadTable;
    registration::ProjectionTable m_nearestTable;
    uint64_t m_spreadGeneration = 0;
    uint64_t m_nearestGeneration = 0;
    std::unique_ptr<registration::ProjectedRow> m_projectedRow;
    std::unique_ptr<uint16_t[]> m_zBuffer;  // mapped depth when only IR is wanted

    // Undistortion tables, guarded by m_workLock.
    undistort::RemapTable m_depthRemap;
    undistort::RemapTable m_irRemap;
    undistort::RemapTable m_colourRemap;
    uint64_t m_depthRemapGeneration = 0;
    uint64_t m_irRemapGeneration = 0;
    uint64_t m_colourRemapGeneration = 0;

    // Filter state, used by FilterDepth and FilterIR under m_filterLock.
    bool AnyDepthFilter() const;
    void RunDepthFilters(ImageDescriptor* depth);
    std::mutex m_filterLock;
    std::atomic<bool> m_resetTemporal{false};
    filters::SpatialParams m_spatialParams;
    filters::TemporalParams m_temporalParams;
    filters::SpatialWork m_spatialWork;
    filters::TemporalFilter m_temporal;
    filters::PlanarTable m_planar;
    uint64_t m_planarGeneration = 0;
    std::vector<uint16_t> m_filtered;  // the median's output, one image

    // The work buffer (the largest image's size) and the resizes' working storage,
    // allocated once; guarded by m_workLock.
    std::mutex m_workLock;
    std::unique_ptr<uint8_t[]> m_work;
    std::unique_ptr<geometry::ResizeWork> m_resizeWork;
};

}  // namespace quorix
