// Building the simulated camera's data frames. The ToF part is laid out once per packing
// and data mode; after that only the rows that change between captures (the stamp row and
// the sphere's rows) are packed again, and the colour part is rewritten only when its
// format, size or exposure changes.
#include "sim/FrameBuilder.h"

#include <algorithm>
#include <cstring>

#include "sim/ColourImage.h"
#include "sim/Scene.h"

namespace quorix::sim {
namespace {

constexpr uint32_t kUntypedColourDefaultWidth = 640;
constexpr uint32_t kUntypedColourDefaultHeight = 360;

void WriteSubHeader(uint8_t* p, uint8_t type, size_t length, uint8_t range) {
    p[0] = type;
    p[1] = static_cast<uint8_t>(length & 0xFF);
    p[2] = static_cast<uint8_t>((length >> 8) & 0xFF);
    p[3] = static_cast<uint8_t>((length >> 16) & 0xFF);
    p[4] = range;
}

void AppendFloat(std::vector<uint8_t>& out, float value) {
    uint8_t bytes[sizeof(float)];
    std::memcpy(bytes, &value, sizeof bytes);  // the wire is little-endian, like the host
    out.insert(out.end(), bytes, bytes + sizeof bytes);
}

PixelPacking PixelsOf(TofPacking packing) {
    switch (packing) {
        case TofPacking::kMsb12:
            return PixelPacking::kMsb12;
        case TofPacking::kY16:
            return PixelPacking::kY16;
        default:
            return PixelPacking::kRaw12;
    }
}

}  // namespace

FrameKinds KindsOfDataMode(uint8_t dataMode) {
    switch (dataMode) {
        case 0:
            return {true, false, false};
        case 1:
            return {false, true, false};
        case 11:
            return {true, false, true};
        case 12:
            return {false, true, true};
        case 13:
            return {true, true, true};
        default:
            return {true, true, false};
    }
}

TofTypes TofTypesOf(TofPacking packing, FrameKinds kinds) {
    // Depth, IR and combined types, outside and inside the WDR modes.
    struct Row {
        uint8_t plain[3];
        uint8_t wdr[3];
    };
    static constexpr Row kRaw12{{0x21, 0x22, 0x23}, {0x6F, 0x70, 0x71}};
    static constexpr Row kMsb12{{0x51, 0x52, 0x53}, {0x5C, 0x5D, 0x5E}};
    static constexpr Row kY16{{0x61, 0x62, 0x63}, {0x6C, 0x6D, 0x6E}};
    const Row& row = packing == TofPacking::kMsb12 ? kMsb12
                     : packing == TofPacking::kY16 ? kY16
                                                   : kRaw12;
    const uint8_t* types = kinds.wdr ? row.wdr : row.plain;
    TofTypes out;
    if (kinds.depth && kinds.ir && packing == TofPacking::kRaw12Separate) {
        out.count = 2;
        out.type[0] = types[0];
        out.type[1] = types[1];
    } else if (kinds.depth || kinds.ir) {
        out.count = 1;
        out.type[0] = kinds.depth && kinds.ir ? types[2] : (kinds.depth ? types[0] : types[1]);
    }
    return out;
}

Capture CaptureOf(const SimState& state, uint32_t session) {
    Capture capture;
    capture.settings = state.stream;
    if (session >= state.sensors.size()) {
        return capture;
    }
    const SensorState& sensor = state.sensors[session];
    capture.dataMode = sensor.dataMode;
    capture.depthRange = sensor.depthRange;
    capture.wdrMode = sensor.wdrMode;
    const auto& lens = sensor.lens[2];
    const uint16_t width = GetU16(lens.data() + 2);
    const uint16_t height = GetU16(lens.data() + 4);
    if (width != 0 && height != 0) {
        capture.colourWidth = width;
        capture.colourHeight = height;
    }
    return capture;
}

uint8_t DepthRangeOfFrame(const Capture& capture, uint32_t frameIndex) {
    if (!KindsOfDataMode(capture.dataMode).wdr) {
        return capture.depthRange;
    }
    const auto& wdr = capture.wdrMode;
    const uint32_t ranges = wdr[0] == 3 ? 3 : 2;
    uint32_t cycle = 0;
    for (uint32_t i = 0; i < ranges; ++i) {
        cycle += wdr[2 + 2 * i];
    }
    if (cycle == 0) {
        return capture.depthRange;
    }
    uint32_t position = frameIndex % cycle;
    for (uint32_t i = 0; i < ranges; ++i) {
        const uint32_t count = wdr[2 + 2 * i];
        if (position < count) {
            return wdr[1 + 2 * i];
        }
        position -= count;
    }
    return capture.depthRange;
}

DeviceStatus StatusOf(const SensorState& sensor, uint32_t frameCounter) {
    DeviceStatus status;
    // Low-power mode is work mode 0x20 with its two last flags 0; bit 5 of the flags
    // reports it, the other bits the work mode.
    const auto& work = sensor.workMode;
    const bool lowPower = work[0] == 0x20 && work[3] == 0 && work[4] == 0;
    status.statusFlags = static_cast<uint8_t>((work[0] & ~DeviceStatus::kLowPowerBit) |
                                              (lowPower ? DeviceStatus::kLowPowerBit : 0));
    status.slaveMode = sensor.slaveMode;
    status.dataMode = sensor.dataMode;
    status.depthRange = sensor.depthRange;
    status.irs2 = sensor.irs2Echo;
    std::copy(sensor.wdrMode.begin(), sensor.wdrMode.end(), status.wdr);
    status.subMode = sensor.dataMode >= 100 && sensor.dataMode <= 102
                         ? static_cast<uint8_t>(sensor.dataMode - 99)
                         : 0;
    status.frameCounter = frameCounter;
    status.pulseCount = sensor.pulseCounts[sensor.depthRange % 9];
    status.gmmGain = sensor.gmmGain;
    status.thresholdX10 = sensor.thresholdX10;
    const uint16_t width = GetU16(sensor.lens[2].data() + 2);
    const uint16_t height = GetU16(sensor.lens[2].data() + 4);
    status.colourWidth = width != 0 && height != 0 ? width : kUntypedColourDefaultWidth;
    status.colourHeight = width != 0 && height != 0 ? height : kUntypedColourDefaultHeight;
    return status;
}

PushedParameters PushOf(const SimState& state, uint32_t session) {
    PushedParameters p;
    if (session >= state.sensors.size()) {
        return p;
    }
    const SensorState& s = state.sensors[session];
    auto out = p.calibration.begin();
    out = std::copy(s.depthIntrinsic.begin(), s.depthIntrinsic.end(), out);
    out = std::copy(s.depthDistortion.begin(), s.depthDistortion.end(), out);
    out = std::copy(s.colourIntrinsic.begin(), s.colourIntrinsic.end(), out);
    out = std::copy(s.colourDistortion.begin(), s.colourDistortion.end(), out);
    out = std::copy(s.rotation.begin(), s.rotation.end(), out);
    std::copy(s.translation.begin(), s.translation.end(), out);
    if (s.planeCorrection.size() >= sizeof p.planeCorrection) {
        std::memcpy(p.planeCorrection.data(), s.planeCorrection.data(), sizeof p.planeCorrection);
    }
    for (uint8_t group = 0; group < 3; ++group) {
        auto& record = p.depthOffsets[group];
        record[0] = group;
        for (size_t i = 0; i < 9; ++i) {
            PutU16(record.data() + 1 + 2 * i, s.rangeOffsets[group][i]);
        }
        const auto& v = s.measuringRanges[group];
        p.measuringRanges[group] =
            NsMeasuringRange{group, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]};
    }
    const size_t modes = std::min(s.dataModeList.size(), kMaxDataModes);
    p.dataModeList[0] = static_cast<uint8_t>(modes);
    std::copy_n(s.dataModeList.begin(), modes, p.dataModeList.begin() + 1);
    const size_t ranges = std::min(s.depthRangeList.size(), kMaxDepthRanges);
    p.depthRangeList[0] = static_cast<uint8_t>(ranges);
    std::copy_n(s.depthRangeList.begin(), ranges, p.depthRangeList.begin() + 1);
    p.wdr.totalRange = s.wdrMode[0];
    p.wdr.range1 = s.wdrMode[1];
    p.wdr.range1Count = s.wdrMode[2];
    p.wdr.range2 = s.wdrMode[3];
    p.wdr.range2Count = s.wdrMode[4];
    p.wdr.range3 = s.wdrMode[5];
    p.wdr.range3Count = s.wdrMode[6];
    p.dataMode = s.dataMode;
    p.depthRange = s.depthRange;
    p.threshold = static_cast<uint16_t>(s.thresholdX10 / 10);  // the host's unit
    const DeviceStatus status = StatusOf(s, 0);
    p.colourWidth = status.colourWidth;
    p.colourHeight = status.colourHeight;
    p.pulseCount = status.pulseCount;
    p.gmmGain = s.gmmGain;
    p.depthScale = 1.0f;
    p.serialNumber = state.serial;
    p.firmwareVersion = state.firmwareVersion;
    return p;
}

std::vector<SubPacket> ListSubPackets(const uint8_t* payload, size_t size, bool* whole) {
    std::vector<SubPacket> packets;
    bool ok = true;
    size_t offset = 0;
    while (offset < size) {
        SubPacket packet;
        packet.type = payload[offset];
        const size_t header = packet.type == kStatusType ? kStatusHeaderBytes : kSubHeaderBytes;
        if (size - offset < header) {
            ok = false;
            break;
        }
        const uint8_t* p = payload + offset;
        if (packet.type == kStatusType) {
            packet.length = GetU16(p + 1);
        } else {
            packet.length = size_t{p[1]} | size_t{p[2]} << 8 | size_t{p[3]} << 16;
            packet.range = p[4];
        }
        packet.offset = offset + header;
        if (packet.length > size - packet.offset) {
            ok = false;
            break;
        }
        packets.push_back(packet);
        offset = packet.offset + packet.length;
    }
    if (whole != nullptr) {
        *whole = ok;
    }
    return packets;
}

FrameBuilder::FrameBuilder() : m_row(kSceneWidth) {
    // The largest frame without colour, plus room for a large JPEG; more grows once.
    m_buffer.reserve(kFrameHeaderBytes + kSubHeaderBytes + 2 * 1280 * kSceneHeight +
                     kSubHeaderBytes + kNv12Bytes + 64 * 1024);
}

void FrameBuilder::LayOutTof(const ToFKey& key) {
    m_pixels = PixelsOf(key.packing);
    const TofTypes types = TofTypesOf(key.packing, key.kinds);
    const size_t rowBytes = PackedBytes(m_pixels, kSceneWidth);
    const size_t imageBytes = rowBytes * kSceneHeight;
    const bool combined = types.count == 1 && key.kinds.depth && key.kinds.ir;
    m_depth = {};
    m_ir = {};
    m_tofHeaders.clear();
    size_t offset = kFrameHeaderBytes;
    for (uint8_t i = 0; i < types.count; ++i) {
        const size_t payload = offset + kSubHeaderBytes;
        const size_t length = combined ? 2 * imageBytes : imageBytes;
        m_tofHeaders.push_back(offset);
        if (combined && m_pixels == PixelPacking::kRaw12) {
            // One image after the other.
            m_depth = {offset, payload, rowBytes};
            m_ir = {offset, payload + imageBytes, rowBytes};
        } else if (combined) {
            // Row split: each payload row is a depth row, then an IR row.
            m_depth = {offset, payload, 2 * rowBytes};
            m_ir = {offset, payload + rowBytes, 2 * rowBytes};
        } else if (key.kinds.depth && i == 0) {
            m_depth = {offset, payload, rowBytes};
        } else {
            m_ir = {offset, payload, rowBytes};
        }
        m_buffer.resize(payload + length);
        WriteSubHeader(&m_buffer[offset], types.type[i], length, 0);
        offset = payload + length;
    }
    m_tofEnd = offset;
    m_buffer.resize(m_tofEnd);
}

void FrameBuilder::PackRows(uint32_t frameIndex, bool everyRow) {
    for (uint32_t y = 0; y < kSceneHeight; ++y) {
        const bool moving = y == 0 || (y >= kSphereFirstRow && y <= kSphereLastRow);
        if (m_depth.header != 0 && (everyRow || moving)) {
            FillDepthRow(y, frameIndex, m_row.data());
            PackPixels(m_pixels, m_row.data(), kSceneWidth,
                       &m_buffer[m_depth.firstRow + y * m_depth.rowStride]);
        }
        if (m_ir.header != 0 && (everyRow || y == 0)) {
            FillIrRow(y, frameIndex, m_row.data());
            PackPixels(m_pixels, m_row.data(), kSceneWidth,
                       &m_buffer[m_ir.firstRow + y * m_ir.rowStride]);
        }
    }
}

void FrameBuilder::PackNoisyRows(uint32_t frameIndex, const NoiseSettings& noise) {
    const size_t pixels = size_t{kSceneWidth} * kSceneHeight;
    m_clean.resize(pixels);
    m_noisyCodes.resize(pixels);
    const auto pack = [&](const Placement& image, void (*fill)(uint32_t, uint32_t, uint16_t*),
                          void (*add)(const uint16_t*, uint16_t*, uint32_t, uint32_t, uint32_t,
                                      const NoiseSettings&)) {
        if (image.header == 0) {
            return;
        }
        for (uint32_t y = 0; y < kSceneHeight; ++y) {
            fill(y, frameIndex, m_clean.data() + size_t{y} * kSceneWidth);
        }
        add(m_clean.data(), m_noisyCodes.data(), kSceneWidth, kSceneHeight, frameIndex, noise);
        for (uint32_t y = 0; y < kSceneHeight; ++y) {
            PackPixels(m_pixels, m_noisyCodes.data() + size_t{y} * kSceneWidth, kSceneWidth,
                       &m_buffer[image.firstRow + y * image.rowStride]);
        }
    };
    pack(m_depth, &FillDepthRow, &AddDepthNoise);
    pack(m_ir, &FillIrRow, &AddIrNoise);
}

void FrameBuilder::WriteColour(const ColourKey& key) {
    m_buffer.resize(m_tofEnd);
    std::shared_ptr<const std::vector<uint8_t>> image;
    uint8_t type = 0;
    bool exposure = true;
    switch (key.format) {
        case ColourFormat::kNone:
            break;
        case ColourFormat::kMjpeg:
        case ColourFormat::kMjpegUntyped:
            image = MjpegTestImage(key.width, key.height);
            type = key.format == ColourFormat::kMjpeg ? MjpegTypeByte(key.width, key.height)
                                                      : kColourUntypedMjpeg;
            exposure = type != kColourUntypedMjpeg;
            break;
        case ColourFormat::kNv12:
            image = Nv12TestImage();
            type = kColourNv12;
            break;
    }
    if (image) {
        // NV12 fills its fixed length, so the exposure value replaces its last four bytes.
        const bool nv12 = key.format == ColourFormat::kNv12;
        const size_t length = image->size() + (exposure && !nv12 ? sizeof(float) : 0);
        const size_t header = m_buffer.size();
        m_buffer.resize(header + kSubHeaderBytes);
        WriteSubHeader(&m_buffer[header], type, length, 0);
        m_buffer.insert(m_buffer.end(), image->begin(),
                        nv12 ? image->end() - sizeof(float) : image->end());
        if (exposure) {
            AppendFloat(m_buffer, key.exposure);
        }
    }
    m_fixedEnd = m_buffer.size();
}

const std::vector<uint8_t>& FrameBuilder::Build(const Capture& capture, uint32_t frameIndex,
                                                const DeviceStatus* status,
                                                const std::vector<uint8_t>* pushBlock) {
    const ToFKey tofKey{capture.settings.packing, KindsOfDataMode(capture.dataMode)};
    const bool relayout = !m_laidOut || !(tofKey == m_tofKey);
    if (relayout) {
        LayOutTof(tofKey);
        m_tofKey = tofKey;
        m_laidOut = true;
    }
    if (capture.settings.noise.enabled) {
        PackNoisyRows(frameIndex, capture.settings.noise);
    } else {
        PackRows(frameIndex, relayout || m_noisy);
    }
    m_noisy = capture.settings.noise.enabled;
    const uint8_t range = DepthRangeOfFrame(capture, frameIndex);
    for (size_t header : m_tofHeaders) {
        m_buffer[header + 4] = range;
    }
    const ColourKey colourKey{capture.settings.colour, capture.colourWidth, capture.colourHeight,
                              capture.settings.exposure};
    if (relayout || !(colourKey == m_colourKey)) {
        WriteColour(colourKey);
        m_colourKey = colourKey;
    }
    m_buffer.resize(m_fixedEnd);
    if (status != nullptr) {
        const std::vector<uint8_t> record = EncodeDeviceStatus(*status);
        const uint8_t header[kStatusHeaderBytes] = {kStatusType,
                                                    static_cast<uint8_t>(record.size() & 0xFF),
                                                    static_cast<uint8_t>(record.size() >> 8)};
        m_buffer.insert(m_buffer.end(), header, header + kStatusHeaderBytes);
        m_buffer.insert(m_buffer.end(), record.begin(), record.end());
    }
    if (pushBlock != nullptr) {
        const size_t header = m_buffer.size();
        m_buffer.resize(header + kSubHeaderBytes);
        WriteSubHeader(&m_buffer[header], kPushType, pushBlock->size(), 0);
        m_buffer.insert(m_buffer.end(), pushBlock->begin(), pushBlock->end());
    }
    const auto dataHeader =
        EncodeDataHeader(static_cast<uint32_t>(m_buffer.size() - kFrameHeaderBytes));
    std::copy(dataHeader.begin(), dataHeader.end(), m_buffer.begin());
    return m_buffer;
}

}  // namespace quorix::sim
