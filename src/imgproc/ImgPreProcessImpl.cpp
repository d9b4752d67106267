// ImgPreProcessImpl: descriptor checks, geometry and colour conversion through one work
// buffer, filter switches, and the entry point Get_APIImgPreProcess.
#include "imgproc/ImgPreProcessImpl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/Status.h"
#include "imgproc/ColourConvert.h"
#include "log/Log.h"

namespace quorix {

using geometry::kMaxImageBytes;
using geometry::kMaxSide;

namespace {

// Calibration block offsets.
constexpr uint32_t kDepthDistortionAt = 9;
constexpr uint32_t kColourDistortionAt = 26;
constexpr uint32_t kRotationAt = 34;
constexpr uint32_t kTranslationAt = 43;

// The largest colour image a depth frame is mapped into.
constexpr size_t kZBufferPixels = size_t{geometry::kMaxSide} * 1080;

uint32_t BytesPerPixel(uint32_t type) {
    switch (type) {
        case kImage8Bit:
            return 1;
        case kImage8BitRgb:
            return 3;
        case kImage16Bit:
            return 2;
        default:
            return 0;
    }
}

const char* SwitchName(uint32_t which) {
    static constexpr const char* kNames[] = {"IR distortion correction",
                                             "RGB correction",
                                             "RGB distortion correction",
                                             "real depth correction",
                                             "depth distortion correction",
                                             "smoothing filter",
                                             "time filter",
                                             "spatial filter",
                                             "out of max range",
                                             "time filter on depth"};
    return which < sizeof(kNames) / sizeof(kNames[0]) ? kNames[which] : "?";
}

}  // namespace

ImgPreProcessImpl::ImgPreProcessImpl()
    : m_projectedRow(std::make_unique_for_overwrite<registration::ProjectedRow>()),
      m_zBuffer(std::make_unique_for_overwrite<uint16_t[]>(kZBufferPixels)),
      m_work(std::make_unique_for_overwrite<uint8_t[]>(kMaxImageBytes)),
      m_resizeWork(std::make_unique_for_overwrite<geometry::ResizeWork>()) {}

ImgPreProcessImpl::~ImgPreProcessImpl() = default;

// --- settings -------------------------------------------------------------------------

int32_t ImgPreProcessImpl::Init(const double* calibration, const char* configFolder) {
    if (calibration == nullptr) {
        QLOG_WARN("calibration is null.\n");
        return kStatusFailed;
    }
    std::lock_guard guard(m_settingsLock);
    std::memcpy(m_calibration.data(), calibration, sizeof(double) * kCalibrationDoubles);
    m_hasCalibration = true;
    ++m_calibrationGeneration;
    m_configFolder = configFolder != nullptr ? configFolder : "";
    return 0;
}

int32_t ImgPreProcessImpl::SetCameraMatrix(int32_t sensor, const double* matrix, uint32_t height,
                                           uint32_t width) {
    if (sensor != 0 && sensor != 1) {
        QLOG_WARN("sensor: %d is invalid.\n", sensor);
        return kStatusFailed;
    }
    if (matrix == nullptr || width == 0 || height == 0) {
        QLOG_WARN("matrix %p w %u h %u is invalid.\n", static_cast<const void*>(matrix), width,
                  height);
        return kStatusFailed;
    }
    std::lock_guard guard(m_settingsLock);
    std::memcpy(m_cameraMatrix[sensor].data(), matrix, sizeof(double) * 9);
    m_matrixWidth[sensor] = width;
    m_matrixHeight[sensor] = height;
    ++m_calibrationGeneration;
    return 0;
}

int32_t ImgPreProcessImpl::SetAuxTable(uint16_t tag, const void* table, uint32_t count) {
    if (table == nullptr && count != 0) {
        QLOG_WARN("table is null, count %u.\n", count);
        return kStatusFailed;
    }
    // Only the tag and count are kept: the table's layout is not settled, and the caller
    // owns its memory.
    std::lock_guard guard(m_settingsLock);
    m_auxTag = tag;
    m_auxCount = count;
    return 0;
}

int32_t ImgPreProcessImpl::SetSensorConfig(const uint8_t* record) {
    if (record == nullptr) {
        QLOG_WARN("record is null.\n");
        return kStatusFailed;
    }
    std::lock_guard guard(m_settingsLock);
    std::memcpy(m_sensorConfig.data(), record, m_sensorConfig.size());
    return 0;
}

int32_t ImgPreProcessImpl::SetValidDepth(uint32_t range, uint32_t maxMm, uint32_t minMm) {
    if (range > 8 && range != 256) {
        QLOG_WARN("range: %u is invalid.\n", range);
        return kStatusFailed;
    }
    if (minMm > maxMm) {
        QLOG("min %u is above max %u.\n", minMm, maxMm);
        return kStatusFailed;
    }
    std::lock_guard guard(m_settingsLock);
    if (range != m_validDepth.range) {
        m_resetTemporal.store(true);  // another range: the history is of other distances
    }
    m_validDepth = ValidDepth{range, maxMm, minMm};
    return 0;
}

ImgPreProcessImpl::ValidDepth ImgPreProcessImpl::GetValidDepth() const {
    std::lock_guard guard(m_settingsLock);
    return m_validDepth;
}

int32_t ImgPreProcessImpl::SetSensorFlag(uint32_t flag) {
    m_sensorFlag.store(flag);
    return 0;
}

int32_t ImgPreProcessImpl::SetAlgorithmType(int32_t type) {
    m_algorithmType.store(type);
    return 0;
}

// --- switches -------------------------------------------------------------------------

int32_t ImgPreProcessImpl::SetSwitch(Switch which, bool enabled) {
    const bool was = m_switches[which].exchange(enabled);
    if (which == kTimeFilter && was && !enabled) {
        m_resetTemporal.store(true);  // switched on again later, it starts afresh
    }
    const bool built =
        which != kRgbCorrection && which != kOutOfMaxRange && which != kTimeFilterOnDepth;
    if (enabled && !built) {
        // Kept and reported, but no filter or correction is built yet.
        QLOG("%s is not available yet; frames pass unchanged.\n", SwitchName(which));
    }
    return 0;
}

int32_t ImgPreProcessImpl::GetSwitch(Switch which, bool* enabled) const {
    if (enabled == nullptr) {
        QLOG_WARN("%s: out pointer is null.\n", SwitchName(which));
        return kStatusFailed;
    }
    *enabled = m_switches[which].load();
    return 0;
}

int32_t ImgPreProcessImpl::SetIrDistortionCorrectionEnabled(bool enabled) {
    return SetSwitch(kIrDistortion, enabled);
}
int32_t ImgPreProcessImpl::GetIrDistortionCorrectionEnabled(bool* enabled) {
    return GetSwitch(kIrDistortion, enabled);
}
int32_t ImgPreProcessImpl::SetRGBCorrectionEnabled(bool enabled) {
    return SetSwitch(kRgbCorrection, enabled);
}
int32_t ImgPreProcessImpl::GetRGBCorrectionEnabled(bool* enabled) {
    return GetSwitch(kRgbCorrection, enabled);
}
int32_t ImgPreProcessImpl::SetRGBDistortionCorrectionEnabled(bool enabled) {
    return SetSwitch(kRgbDistortion, enabled);
}
int32_t ImgPreProcessImpl::GetRGBDistortionCorrectionEnabled(bool* enabled) {
    return GetSwitch(kRgbDistortion, enabled);
}
int32_t ImgPreProcessImpl::SetComputeRealDepthCorrectionEnabled(bool enabled) {
    return SetSwitch(kRealDepthCorrection, enabled);
}
int32_t ImgPreProcessImpl::GetComputeRealDepthCorrectionEnabled(bool* enabled) {
    return GetSwitch(kRealDepthCorrection, enabled);
}
int32_t ImgPreProcessImpl::SetDepthDistortionCorrectionEnabled(bool enabled) {
    return SetSwitch(kDepthDistortion, enabled);
}
int32_t ImgPreProcessImpl::GetDepthDistortionCorrectionEnabled(bool* enabled) {
    return GetSwitch(kDepthDistortion, enabled);
}
int32_t ImgPreProcessImpl::SetSmoothingFilterEnabled(bool enabled) {
    return SetSwitch(kSmoothing, enabled);
}
int32_t ImgPreProcessImpl::GetSmoothingFilterEnabled(bool* enabled) {
    return GetSwitch(kSmoothing, enabled);
}
int32_t ImgPreProcessImpl::SetTimeFilterEnabled(bool enabled) {
    return SetSwitch(kTimeFilter, enabled);
}
int32_t ImgPreProcessImpl::GetTimeFilterEnabled(bool* enabled) {
    return GetSwitch(kTimeFilter, enabled);
}
int32_t ImgPreProcessImpl::SetSpatialFilterEnabled(bool enabled) {
    return SetSwitch(kSpatialFilter, enabled);
}
int32_t ImgPreProcessImpl::GetSpatialFilterEnabled(bool* enabled) {
    return GetSwitch(kSpatialFilter, enabled);
}
int32_t ImgPreProcessImpl::SetOutOfMaxRangeEnabled(bool enabled) {
    return SetSwitch(kOutOfMaxRange, enabled);
}
int32_t ImgPreProcessImpl::SetTimeFilterOnDepthEnabled(bool enabled) {
    return SetSwitch(kTimeFilterOnDepth, enabled);
}
bool ImgPreProcessImpl::GetOutOfMaxRangeEnabled() const {
    return m_switches[kOutOfMaxRange].load();
}
bool ImgPreProcessImpl::GetTimeFilterOnDepthEnabled() const {
    return m_switches[kTimeFilterOnDepth].load();
}

// --- checks ---------------------------------------------------------------------------

uint32_t ImgPreProcessImpl::CheckImage(const ImageDescriptor* image, const char* operation) {
    if (image == nullptr) {
        QLOG_WARN("%s: image descriptor is null.\n", operation);
        return 0;
    }
    if (image->data == nullptr) {
        QLOG_WARN("%s: image data is null.\n", operation);
        return 0;
    }
    const uint32_t bytes = BytesPerPixel(image->type);
    if (bytes == 0) {
        QLOG_WARN("%s: image type: %u is invalid.\n", operation, image->type);
        return 0;
    }
    if (image->width == 0 || image->height == 0 || image->width > kMaxSide ||
        image->height > kMaxSide ||
        static_cast<size_t>(image->width) * image->height * bytes > kMaxImageBytes) {
        QLOG_WARN("%s: image size w %u h %u (type %u) is invalid.\n", operation, image->width,
                  image->height, image->type);
        return 0;
    }
    return bytes;
}

uint32_t ImgPreProcessImpl::CheckImageOfType(const ImageDescriptor* image, uint32_t type,
                                             const char* operation) {
    const uint32_t bytes = CheckImage(image, operation);
    if (bytes != 0 && image->type != type) {
        QLOG("%s: image type: %u, expected %u.\n", operation, image->type, type);
        return 0;
    }
    return bytes;
}

int32_t ImgPreProcessImpl::NotAvailable(Unavailable what, const char* name) {
    if ((m_reported.fetch_or(what) & what) == 0) {
        QLOG("%s is not available yet.\n", name);
    }
    return kStatusFailed;
}

// --- geometry -------------------------------------------------------------------------

int32_t ImgPreProcessImpl::Resize(ImageDescriptor* image, uint32_t width, uint32_t height,
                                  int32_t one) {
    const uint32_t bytes = CheckImage(image, "Resize");
    if (bytes == 0) {
        return kStatusFailed;
    }
    if (one != 1) {
        QLOG_WARN("interpolation argument: %d is invalid.\n", one);
        return kStatusFailed;
    }
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<size_t>(width) * height * bytes > kMaxImageBytes) {
        QLOG_WARN("target size w %u h %u is invalid.\n", width, height);
        return kStatusFailed;
    }
    if (width == image->width && height == image->height) {
        return 0;
    }
    const size_t sourceBytes = static_cast<size_t>(image->width) * image->height * bytes;
    std::lock_guard guard(m_workLock);
    std::memcpy(m_work.get(), image->data, sourceBytes);
    if (image->type == kImage8BitRgb) {
        geometry::ResizeBilinear3(m_work.get(), image->width, image->height, image->data, width,
                                  height, *m_resizeWork);
    } else {
        geometry::ResizeNearest(m_work.get(), image->width, image->height, image->data, width,
                                height, bytes, *m_resizeWork);
    }
    image->width = width;
    image->height = height;
    return 0;
}

int32_t ImgPreProcessImpl::Crop(ImageDescriptor* image, uint32_t x, uint32_t y, uint32_t width,
                                uint32_t height) {
    const uint32_t bytes = CheckImage(image, "Crop");
    if (bytes == 0) {
        return kStatusFailed;
    }
    if (width == 0 || height == 0 || x >= image->width || y >= image->height ||
        width > image->width - x || height > image->height - y) {
        QLOG("window x %u y %u w %u h %u is outside the image w %u h %u.\n", x, y, width, height,
             image->width, image->height);
        return kStatusFailed;
    }
    geometry::CropInPlace(image->data, image->width, x, y, width, height, bytes);
    image->width = width;
    image->height = height;
    return 0;
}

int32_t ImgPreProcessImpl::Rotate(ImageDescriptor* image, int32_t rotateType) {
    const uint32_t bytes = CheckImage(image, "Rotate");
    if (bytes == 0) {
        return kStatusFailed;
    }
    switch (rotateType) {
        case kRotate180:
            geometry::ReversePixels(image->data, static_cast<size_t>(image->width) * image->height,
                                    bytes);
            return 0;
        case kRotate90Cw:
        case kRotate90Ccw: {
            std::lock_guard guard(m_workLock);
            std::memcpy(m_work.get(), image->data,
                        static_cast<size_t>(image->width) * image->height * bytes);
            geometry::RotateQuarter(m_work.get(), image->width, image->height, image->data, bytes,
                                    rotateType == kRotate90Cw);
            std::swap(image->width, image->height);
            return 0;
        }
        default:
            QLOG_WARN("rotate type: %d is invalid.\n", rotateType);
            return kStatusFailed;
    }
}

int32_t ImgPreProcessImpl::Flip(ImageDescriptor* image, int32_t code) {
    const uint32_t bytes = CheckImage(image, "Flip");
    if (bytes == 0) {
        return kStatusFailed;
    }
    switch (code) {
        case kFlipHorizontal:
            geometry::MirrorColumns(image->data, image->width, image->height, bytes);
            return 0;
        case kFlipVertical:
            geometry::MirrorRows(image->data, image->width, image->height, bytes);
            return 0;
        case kFlipBoth:
            geometry::ReversePixels(image->data, static_cast<size_t>(image->width) * image->height,
                                    bytes);
            return 0;
        default:
            QLOG_WARN("flip code: %d is invalid.\n", code);
            return kStatusFailed;
    }
}

// --- colour ---------------------------------------------------------------------------

int32_t ImgPreProcessImpl::ConvertColour(ImageDescriptor* image, int32_t one, int32_t inputFormat,
                                         int32_t outputFormat) {
    if (CheckImage(image, "ConvertColour") == 0) {
        return kStatusFailed;
    }
    if (one != 1) {
        QLOG_WARN("argument: %d is invalid.\n", one);
        return kStatusFailed;
    }
    if (outputFormat != kColourRGB && outputFormat != kColourBGR) {
        QLOG_WARN("output format: %d is invalid.\n", outputFormat);
        return kStatusFailed;
    }
    const bool bgr = outputFormat == kColourBGR;
    switch (inputFormat) {
        case kColourRGB:
        case kColourBGR: {
            if (image->type != kImage8BitRgb) {
                QLOG("image type: %u does not hold format %d.\n", image->type, inputFormat);
                return kStatusFailed;
            }
            if (inputFormat != outputFormat) {
                uint8_t* p = image->data;
                const size_t pixels = static_cast<size_t>(image->width) * image->height;
                for (size_t i = 0; i < pixels; ++i, p += 3) {
                    std::swap(p[0], p[2]);
                }
            }
            return 0;
        }
        case kColourNV12:
        case kColourYUYV:
            return ConvertYuv(image, inputFormat, bgr);
        default:
            QLOG_WARN("input format: %d is invalid.\n", inputFormat);
            return kStatusFailed;
    }
}

int32_t ImgPreProcessImpl::ConvertYuv(ImageDescriptor* image, int32_t inputFormat, bool bgr) {
    // The buffer holds raw 8-bit samples now and three bytes a pixel afterwards.
    if (image->type != kImage8Bit) {
        QLOG("image type: %u does not hold format %d.\n", image->type, inputFormat);
        return kStatusFailed;
    }
    const uint32_t w = image->width;
    const uint32_t h = image->height;
    const bool evenEnough = inputFormat == kColourYUYV ? w % 2 == 0 : (w % 2 == 0 && h % 2 == 0);
    if (!evenEnough || static_cast<size_t>(w) * h * 3 > kMaxImageBytes) {
        QLOG_WARN("size w %u h %u does not fit format %d.\n", w, h, inputFormat);
        return kStatusFailed;
    }
    const size_t pixels = static_cast<size_t>(w) * h;
    if (inputFormat == kColourYUYV) {
        // Runs from the end, so it converts in place without the work buffer.
        colour::YuyvToRgb(image->data, image->data, pixels, bgr);
    } else {
        // The output reaches over the chroma plane long before the chroma is all read.
        std::lock_guard guard(m_workLock);
        std::memcpy(m_work.get(), image->data, pixels + pixels / 2);
        colour::Nv12ToRgb(m_work.get(), m_work.get() + pixels, image->data, w, h, bgr);
    }
    image->type = kImage8BitRgb;
    return 0;
}

int32_t ImgPreProcessImpl::ConvertIRTo8Bit(uint32_t height, uint32_t width, uint8_t* destination,
                                           const uint16_t* source) {
    if (destination == nullptr || source == nullptr || width == 0 || height == 0 ||
        width > kMaxSide || height > kMaxSide) {
        QLOG_WARN("destination %p source %p w %u h %u is invalid.\n",
                  static_cast<void*>(destination), static_cast<const void*>(source), width, height);
        return kStatusFailed;
    }
    // Read as bytes: the destination may be the source's buffer, and byte i is written
    // only after source bytes 2i and 2i + 1 are read.
    const uint8_t* in = reinterpret_cast<const uint8_t*>(source);
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < pixels; ++i) {
        uint16_t value;
        std::memcpy(&value, in + 2 * i, sizeof(value));
        destination[i] = static_cast<uint8_t>((value > 4095 ? 4095 : value) >> 4);
    }
    return 0;
}

// --- filters ----------------------------------------------------------------------------

int32_t ImgPreProcessImpl::ResetFilters() {
    m_resetTemporal.store(true);
    return 0;
}

void ImgPreProcessImpl::SetFilterParams(const filters::SpatialParams& spatial,
                                        const filters::TemporalParams& temporal) {
    std::lock_guard guard(m_filterLock);
    m_spatialParams = spatial;
    m_temporalParams = temporal;
}

bool ImgPreProcessImpl::AnyDepthFilter() const {
    return m_switches[kSmoothing].load() || m_switches[kSpatialFilter].load() ||
           m_switches[kTimeFilter].load() || m_switches[kRealDepthCorrection].load();
}

int32_t ImgPreProcessImpl::FilterDepth(ImageDescriptor* depth) {
    if (CheckImageOfType(depth, kImage16Bit, "FilterDepth") == 0) {
        return kStatusFailed;
    }
    const bool filtering = AnyDepthFilter();
    if (filtering) {
        const ValidDepth limits = GetValidDepth();
        // Limits of a range whose measuring record has not arrived (all zero) limit nothing.
        if (limits.range != ValidDepth{}.range && limits.maxMm > 0) {
            filters::ApplyValidLimits(reinterpret_cast<uint16_t*>(depth->data),
                                      size_t{depth->width} * depth->height,
                                      static_cast<uint16_t>(std::min(limits.minMm, 65535u)),
                                      static_cast<uint16_t>(std::min(limits.maxMm, 65535u)));
        }
    }
    const int32_t undistorted = Undistort(depth, kDepthDistortion, 0, kDepthDistortionAt,
                                          m_depthRemap, m_depthRemapGeneration);
    if (filtering) {
        RunDepthFilters(depth);
    } else {
        m_resetTemporal.store(true);  // the time filter is off: its history ends here
    }
    return undistorted;
}

void ImgPreProcessImpl::RunDepthFilters(ImageDescriptor* depth) {
    auto* pixels = reinterpret_cast<uint16_t*>(depth->data);
    const uint32_t w = depth->width;
    const uint32_t h = depth->height;
    std::lock_guard guard(m_filterLock);
    if (m_switches[kRealDepthCorrection].load()) {
        registration::Pinhole camera;
        uint64_t generation = 0;
        bool known = false;
        {
            std::lock_guard settings(m_settingsLock);
            known = CameraFor(0, w, h, camera);
            generation = m_calibrationGeneration;
        }
        if (known) {
            if (m_planarGeneration != generation || !m_planar.Fits(w, h)) {
                m_planar.Build(camera.fx, camera.fy, camera.cx, camera.cy, w, h);
                m_planarGeneration = generation;
            }
            m_planar.Apply(pixels);
        }
    }
    if (m_switches[kSmoothing].load()) {
        m_filtered.resize(size_t{w} * h);
        filters::MedianDepth3x3(pixels, m_filtered.data(), w, h);
        std::copy(m_filtered.begin(), m_filtered.end(), pixels);
    }
    if (m_switches[kSpatialFilter].load()) {
        filters::SpatialFilter(pixels, w, h, m_spatialParams, m_spatialWork);
    }
    if (m_resetTemporal.exchange(false)) {
        m_temporal.Reset();
    }
    if (m_switches[kTimeFilter].load()) {
        m_temporal.Apply(pixels, w, h, m_temporalParams);
    } else {
        m_temporal.Reset();
    }
}

int32_t ImgPreProcessImpl::FilterIR(ImageDescriptor* ir) {
    if (CheckImageOfType(ir, kImage16Bit, "FilterIR") == 0) {
        return kStatusFailed;
    }
    // IR comes through the depth camera's lens.
    const int32_t undistorted =
        Undistort(ir, kIrDistortion, 0, kDepthDistortionAt, m_irRemap, m_irRemapGeneration);
    if (m_switches[kSmoothing].load()) {
        auto* pixels = reinterpret_cast<uint16_t*>(ir->data);
        std::lock_guard guard(m_filterLock);
        m_filtered.resize(size_t{ir->width} * ir->height);
        filters::MedianIr3x3(pixels, m_filtered.data(), ir->width, ir->height);
        std::copy(m_filtered.begin(), m_filtered.end(), pixels);
    }
    return undistorted;
}

int32_t ImgPreProcessImpl::ProcessColour(ImageDescriptor* colour) {
    if (CheckImageOfType(colour, kImage8BitRgb, "ProcessColour") == 0) {
        return kStatusFailed;
    }
    return Undistort(colour, kRgbDistortion, 1, kColourDistortionAt, m_colourRemap,
                     m_colourRemapGeneration);
}

// --- registration ---------------------------------------------------------------------

bool ImgPreProcessImpl::CameraFor(int32_t sensor, uint32_t width, uint32_t height,
                                  registration::Pinhole& out) const {
    const uint32_t a = m_matrixWidth[sensor];
    const uint32_t b = m_matrixHeight[sensor];
    if (a == 0 || b == 0) {
        return false;
    }
    // The frame engine gives the two sides swapped for some rotation settings: take the
    // order whose shape matches the image.
    const uint64_t straight = uint64_t{width} * b > uint64_t{height} * a
                                  ? uint64_t{width} * b - uint64_t{height} * a
                                  : uint64_t{height} * a - uint64_t{width} * b;
    const uint64_t swapped = uint64_t{width} * a > uint64_t{height} * b
                                 ? uint64_t{width} * a - uint64_t{height} * b
                                 : uint64_t{height} * b - uint64_t{width} * a;
    const auto& m = m_cameraMatrix[sensor];
    registration::Pinhole camera{m[0], m[4], m[2], m[5], a, b};
    if (swapped < straight) {
        std::swap(camera.width, camera.height);
    }
    if (!registration::IsUsable(camera)) {
        return false;
    }
    out = registration::ScaledTo(camera, width, height);
    return true;
}

bool ImgPreProcessImpl::GeometryFor(uint32_t depthWidth, uint32_t depthHeight, uint32_t colourWidth,
                                    uint32_t colourHeight, Geometry& out) const {
    std::lock_guard guard(m_settingsLock);
    if (!m_hasCalibration) {
        QLOG("no calibration yet; nothing is mapped.\n");
        return false;
    }
    if (!CameraFor(0, depthWidth, depthHeight, out.depth) ||
        !CameraFor(1, colourWidth, colourHeight, out.colour)) {
        QLOG("no usable camera matrix for depth w %u h %u or colour w %u h %u.\n", depthWidth,
             depthHeight, colourWidth, colourHeight);
        return false;
    }
    std::copy_n(m_calibration.begin() + kRotationAt, 9, out.extrinsics.rotation.begin());
    std::copy_n(m_calibration.begin() + kTranslationAt, 3, out.extrinsics.translation.begin());
    if (!registration::IsUsable(out.extrinsics)) {
        QLOG("the calibration's rotation and translation are not usable; nothing is mapped.\n");
        return false;
    }
    out.generation = m_calibrationGeneration;
    return true;
}

const registration::ProjectionTable* ImgPreProcessImpl::TableFor(bool spread, uint32_t depthWidth,
                                                                 uint32_t depthHeight,
                                                                 uint32_t colourWidth,
                                                                 uint32_t colourHeight) {
    Geometry g;
    if (!GeometryFor(depthWidth, depthHeight, colourWidth, colourHeight, g)) {
        return nullptr;
    }
    registration::ProjectionTable& table = spread ? m_spreadTable : m_nearestTable;
    uint64_t& generation = spread ? m_spreadGeneration : m_nearestGeneration;
    if (generation != g.generation ||
        !table.Fits(depthWidth, depthHeight, colourWidth, colourHeight)) {
        table.Build(g.depth, g.colour, g.extrinsics, spread);
        generation = g.generation;
    }
    return &table;
}

int32_t ImgPreProcessImpl::MapDepthPointToColour(const NsDepthVector3& depthPoint,
                                                 uint32_t colourResolution,
                                                 NsDepthVector3* colourPoint) {
    if (colourPoint == nullptr) {
        QLOG_WARN("colour point is null.\n");
        return kStatusFailed;
    }
    *colourPoint = NsDepthVector3{};
    const uint32_t width = colourResolution & 0xFFFF;
    const uint32_t height = colourResolution >> 16;
    const uint16_t d = depthPoint.depthZ;
    if (d == 0 || d == 65535 || width == 0 || height == 0) {
        QLOG("depth %u or colour size w %u h %u has no mapping.\n", d, width, height);
        return kStatusFailed;
    }
    Geometry g;
    uint32_t depthWidth = 0;
    uint32_t depthHeight = 0;
    {
        std::lock_guard guard(m_settingsLock);
        depthWidth = m_matrixWidth[0];
        depthHeight = m_matrixHeight[0];
    }
    // The depth matrix is used at the size it was given for (either order of sides maps
    // it unchanged).
    if (!GeometryFor(depthWidth, depthHeight, width, height, g)) {
        return kStatusFailed;
    }
    const auto& r = g.extrinsics.rotation;
    const auto& t = g.extrinsics.translation;
    const double x = (depthPoint.depthX - g.depth.cx) / g.depth.fx * d;
    const double y = (depthPoint.depthY - g.depth.cy) / g.depth.fy * d;
    const double qx = r[0] * x + r[1] * y + r[2] * d + t[0];
    const double qy = r[3] * x + r[4] * y + r[5] * d + t[1];
    const double qz = r[6] * x + r[7] * y + r[8] * d + t[2];
    if (!(qz >= 1.0)) {
        QLOG("the point is behind the colour camera.\n");
        return kStatusFailed;
    }
    const double u = std::floor(g.colour.fx * qx / qz + g.colour.cx + 0.5);
    const double v = std::floor(g.colour.fy * qy / qz + g.colour.cy + 0.5);
    if (!(u >= 0 && v >= 0 && u < width && v < height)) {
        return kStatusFailed;  // outside the colour image
    }
    colourPoint->depthX = static_cast<int32_t>(u);
    colourPoint->depthY = static_cast<int32_t>(v);
    colourPoint->depthZ = static_cast<uint16_t>(std::min(std::floor(qz + 0.5), 65534.0));
    return 0;
}

int32_t ImgPreProcessImpl::MapToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                       ImageDescriptor* ir, ImageDescriptor* mappedDepth,
                                       ImageDescriptor* mappedIr, const char* operation) {
    if (CheckImage(colour, operation) == 0 ||
        CheckImageOfType(depth, kImage16Bit, operation) == 0) {
        return kStatusFailed;
    }
    const bool withIr = mappedIr != nullptr;
    if (withIr) {
        if (CheckImageOfType(ir, kImage16Bit, operation) == 0) {
            return kStatusFailed;
        }
        if (ir->width != depth->width || ir->height != depth->height) {
            QLOG("%s: IR w %u h %u differs from depth w %u h %u.\n", operation, ir->width,
                 ir->height, depth->width, depth->height);
            return kStatusFailed;
        }
    }
    for (ImageDescriptor* out : {mappedDepth, mappedIr}) {
        if (out != nullptr && out->data == nullptr) {
            QLOG_WARN("%s: output data is null.\n", operation);
            return kStatusFailed;
        }
    }
    if (mappedDepth == nullptr && !withIr) {
        QLOG_WARN("%s: no output.\n", operation);
        return kStatusFailed;
    }
    if (size_t{colour->width} * colour->height > kZBufferPixels) {
        QLOG_WARN("%s: colour w %u h %u is too large.\n", operation, colour->width, colour->height);
        return kStatusFailed;
    }
    std::lock_guard guard(m_mapLock);
    const registration::ProjectionTable* table =
        TableFor(true, depth->width, depth->height, colour->width, colour->height);
    if (table == nullptr) {
        return kStatusFailed;
    }
    uint16_t* zBuffer =
        mappedDepth != nullptr ? reinterpret_cast<uint16_t*>(mappedDepth->data) : m_zBuffer.get();
    registration::MapDepthToColour(
        *table, reinterpret_cast<const uint16_t*>(depth->data),
        withIr ? reinterpret_cast<const uint16_t*>(ir->data) : nullptr, zBuffer,
        withIr ? reinterpret_cast<uint16_t*>(mappedIr->data) : nullptr, *m_projectedRow);
    for (ImageDescriptor* out : {mappedDepth, mappedIr}) {
        if (out != nullptr) {
            *out = ImageDescriptor{out->data, kImage16Bit, colour->width, colour->height};
        }
    }
    return 0;
}

int32_t ImgPreProcessImpl::MapDepthToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                            ImageDescriptor* mappedDepth) {
    if (mappedDepth == nullptr) {
        QLOG_WARN("mapped depth is null.\n");
        return kStatusFailed;
    }
    return MapToColour(colour, depth, nullptr, mappedDepth, nullptr, "MapDepthToColour");
}

int32_t ImgPreProcessImpl::MapIRToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                         ImageDescriptor* ir, ImageDescriptor* mappedIr) {
    if (mappedIr == nullptr) {
        QLOG_WARN("mapped IR is null.\n");
        return kStatusFailed;
    }
    return MapToColour(colour, depth, ir, nullptr, mappedIr, "MapIRToColour");
}

int32_t ImgPreProcessImpl::MapDepthAndIRToColour(ImageDescriptor* colour, ImageDescriptor* depth,
                                                 ImageDescriptor* ir, ImageDescriptor* mappedDepth,
                                                 ImageDescriptor* mappedIr) {
    if (mappedDepth == nullptr || mappedIr == nullptr) {
        QLOG_WARN("mapped depth %p or mapped IR %p is null.\n", static_cast<void*>(mappedDepth),
                  static_cast<void*>(mappedIr));
        return kStatusFailed;
    }
    return MapToColour(colour, depth, ir, mappedDepth, mappedIr, "MapDepthAndIRToColour");
}

int32_t ImgPreProcessImpl::MapColourToDepth(ImageDescriptor* depth, ImageDescriptor* colour,
                                            ImageDescriptor* mappedColour) {
    return MapShrunkColourToDepth(depth, colour, 1, mappedColour);
}

int32_t ImgPreProcessImpl::MapShrunkColourToDepth(ImageDescriptor* depth, ImageDescriptor* colour,
                                                  uint32_t scale, ImageDescriptor* mappedColour) {
    if (CheckImageOfType(depth, kImage16Bit, "MapColourToDepth") == 0 ||
        CheckImageOfType(colour, kImage8BitRgb, "MapColourToDepth") == 0) {
        return kStatusFailed;
    }
    if (mappedColour == nullptr || mappedColour->data == nullptr) {
        QLOG_WARN("mapped colour is null.\n");
        return kStatusFailed;
    }
    if (scale < 1 || scale > 4 || colour->width < scale || colour->height < scale) {
        QLOG_WARN("colour w %u h %u cannot be shrunk by %u.\n", colour->width, colour->height,
                  scale);
        return kStatusFailed;
    }
    std::lock_guard guard(m_mapLock);
    const registration::ProjectionTable* table =
        TableFor(false, depth->width, depth->height, colour->width / scale, colour->height / scale);
    if (table == nullptr) {
        return kStatusFailed;
    }
    registration::MapColourToDepth(*table, reinterpret_cast<const uint16_t*>(depth->data),
                                   registration::ColourView{colour->data, colour->width, scale},
                                   mappedColour->data, *m_projectedRow);
    *mappedColour = ImageDescriptor{mappedColour->data, kImage8BitRgb, depth->width, depth->height};
    return 0;
}

int32_t ImgPreProcessImpl::MapDepthAndShrunkColour(ImageDescriptor* depth, ImageDescriptor* colour,
                                                   uint32_t scale, ImageDescriptor* mappedDepth,
                                                   ImageDescriptor* mappedColour) {
    if (CheckImageOfType(depth, kImage16Bit, "MapDepthAndShrunkColour") == 0 ||
        CheckImageOfType(colour, kImage8BitRgb, "MapDepthAndShrunkColour") == 0) {
        return kStatusFailed;
    }
    if (mappedDepth == nullptr || mappedDepth->data == nullptr || mappedColour == nullptr ||
        mappedColour->data == nullptr) {
        QLOG_WARN("MapDepthAndShrunkColour: an output is null.\n");
        return kStatusFailed;
    }
    if (scale < 1 || scale > 4 || colour->width < scale || colour->height < scale) {
        QLOG_WARN("colour w %u h %u cannot be shrunk by %u.\n", colour->width, colour->height,
                  scale);
        return kStatusFailed;
    }
    ImageDescriptor shrunk{colour->data, kImage8BitRgb, colour->width / scale,
                           colour->height / scale};
    {
        std::lock_guard guard(m_mapLock);
        const registration::ProjectionTable* table =
            size_t{shrunk.width} * shrunk.height <= kZBufferPixels
                ? TableFor(true, depth->width, depth->height, shrunk.width, shrunk.height)
                : nullptr;
        if (table != nullptr && table->singlePixel) {
            registration::MapDepthAndColour(
                *table, reinterpret_cast<const uint16_t*>(depth->data),
                registration::ColourView{colour->data, colour->width, scale},
                reinterpret_cast<uint16_t*>(mappedDepth->data), mappedColour->data,
                *m_projectedRow);
            *mappedDepth =
                ImageDescriptor{mappedDepth->data, kImage16Bit, shrunk.width, shrunk.height};
            *mappedColour =
                ImageDescriptor{mappedColour->data, kImage8BitRgb, depth->width, depth->height};
            return 0;
        }
    }
    // Footprints of more than a pixel (or no usable calibration): each direction on its own.
    if (MapShrunkColourToDepth(depth, colour, scale, mappedColour) != 0) {
        return kStatusFailed;
    }
    return MapDepthToColour(&shrunk, depth, mappedDepth);
}

// --- undistortion ---------------------------------------------------------------------

int32_t ImgPreProcessImpl::Undistort(ImageDescriptor* image, Switch which, int32_t sensor,
                                     uint32_t coefficientsAt, undistort::RemapTable& table,
                                     uint64_t& tableGeneration) {
    if (!m_switches[which].load()) {
        return 0;  // off: the frame passes exactly as it came
    }
    registration::Pinhole camera;
    double coefficients[undistort::kCoefficients];
    uint64_t generation = 0;
    {
        std::lock_guard guard(m_settingsLock);
        if (!m_hasCalibration || !CameraFor(sensor, image->width, image->height, camera)) {
            return 0;  // nothing to correct with yet
        }
        std::copy_n(m_calibration.begin() + coefficientsAt, undistort::kCoefficients, coefficients);
        generation = m_calibrationGeneration;
    }
    if (undistort::IsIdentity(coefficients)) {
        return 0;
    }
    const uint32_t bytes = BytesPerPixel(image->type);
    std::lock_guard guard(m_workLock);
    if (tableGeneration != generation || table.width != image->width ||
        table.height != image->height) {
        undistort::Build(table, camera, coefficients);
        tableGeneration = generation;
    }
    std::memcpy(m_work.get(), image->data, size_t{image->width} * image->height * bytes);
    undistort::Remap(table, m_work.get(), image->data, bytes);
    return 0;
}

int32_t ImgPreProcessImpl::ComputeFrame(ImageDescriptor* /*output*/, int32_t /*request*/) {
    // Nothing is computed, so there is no frame to report as done.
    return NotAvailable(kComputeFrame, "ComputeFrame");
}

int32_t ImgPreProcessImpl::ProcessSpecial(ImageDescriptor* mappedDepth, ImageDescriptor* colour,
                                          int32_t mode, int32_t /*low*/, int32_t /*high*/,
                                          uint8_t* result) {
    if (result == nullptr || CheckImageOfType(mappedDepth, kImage16Bit, "ProcessSpecial") == 0 ||
        CheckImageOfType(colour, kImage8BitRgb, "ProcessSpecial") == 0) {
        return kStatusFailed;
    }
    if (mode < 1 || mode > 3) {
        QLOG_WARN("mode: %d is invalid.\n", mode);
        return kStatusFailed;
    }
    // The device-assist computation is not ours to make: the answer is a valid one that
    // asks nothing to be sent (byte 0 clear), so the camera keeps its own settings.
    result[0] = 0;
    return 0;
}

std::unique_ptr<ImgPreProcess> Get_APIImgPreProcess() {
    return std::make_unique<ImgPreProcessImpl>();
}

}  // namespace quorix
