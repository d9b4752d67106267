// The session's property table: which ids the camera answers, which the session answers
// itself (the lists it keeps, the frame information) and the WDR properties, which address
// every range of the current WDR output mode.
#include <algorithm>
#include <cstring>

#include "base/Status.h"
#include "log/Log.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

// The WDR property value: three u16 (one per WDR range) and a byte for every record.
constexpr uint32_t kWdrValuesBytes = 7;

bool IsWdrProperty(uint32_t id) {
    return id == property::kWDRSetting || id == property::kWDRThreshold ||
           id == property::kWDRGMMGain;
}

// Ids the camera answers in both directions.
bool IsCameraProperty(uint32_t id) {
    return id == property::kRangeOffset || id == property::kTalDelay ||
           (id >= property::kDeviceUpgradeFlag && id <= property::kUpgradeState) ||
           id == property::kHeartBeat ||
           (id >= property::kPsensorData && id <= property::kPsensorLast);
}

}  // namespace

int32_t BaseSession::SetProperty(uint32_t id, const void* data, uint32_t size) {
    if (IsWdrProperty(id)) {
        return SetWdrProperty(id, data, size);
    }
    if (id == property::kJsonConfigMode || id == property::kUpgradeJson) {
        // The JSON transfer is started through public properties -4 and -5, which go to
        // the transfer workers above the session.
        QLOG("id:0x%x is not available.\n", id);
        return kStatusNotSupported;
    }
    return m_protocol ? m_protocol->SetProperty(id, data, size) : kStatusNotSupported;
}

int32_t BaseSession::GetProperty(uint32_t id, void* data, uint32_t* size) {
    if (data == nullptr || size == nullptr) {
        return kStatusNullPointer;
    }
    if (IsWdrProperty(id) && !IsWdrMode(m_dataMode.load())) {
        QLOG("m_dataMode:%d is not wdr mode.\n", m_dataMode.load());
        return kStatusNotSupported;
    }
    switch (id) {
        case property::kOutModeList:
        case property::kDepthRangeList: {
            const int32_t ret =
                m_protocol ? m_protocol->GetProperty(id, data, *size) : kStatusNotSupported;
            if (ret == 0) {
                return 0;
            }
            // The list the session holds stands in for a camera that does not answer.
            std::lock_guard guard(m_cacheLock);
            const uint8_t* list = id == property::kOutModeList ? m_cache.dataModeList.data()
                                                               : m_cache.depthRangeList.data();
            const uint32_t bytes = id == property::kOutModeList
                                       ? static_cast<uint32_t>(m_cache.dataModeList.size())
                                       : static_cast<uint32_t>(m_cache.depthRangeList.size());
            if (list[0] == 0 || *size < bytes) {
                return ret;
            }
            memcpy(data, list, bytes);
            *size = bytes;
            return 0;
        }
        case property::kFrameInfo: {
            if (*size < sizeof(Frame)) {
                QLOG_WARN("size:%u is too small.\n", *size);
                return kStatusBadParameter;
            }
            Frame frame;
            int32_t ret = 0;
            {
                std::lock_guard guard(m_lock);  // the held frames change under it
                ret = m_imageProc.GetFrameInfo(&frame);
            }
            memcpy(data, &frame, sizeof frame);
            *size = sizeof frame;
            return ret;
        }
        default:
            if (IsCameraProperty(id) || IsWdrProperty(id)) {
                return m_protocol ? m_protocol->GetProperty(id, data, *size) : kStatusNotSupported;
            }
            return kStatusNotSupported;
    }
}

int32_t BaseSession::SetWdrProperty(uint32_t id, const void* data, uint32_t size) {
    const uint8_t mode = m_dataMode.load();
    if (!IsWdrMode(mode)) {
        QLOG("m_dataMode:%d is not wdr mode.\n", mode);
        return 1;
    }
    if (data == nullptr || size < kWdrValuesBytes) {
        QLOG_WARN("size:%u is too small.\n", size);
        return kStatusBadParameter;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    WDROutputMode wdr;
    {
        std::lock_guard guard(m_cacheLock);
        wdr = m_cache.wdr;
    }
    const uint32_t ranges[3] = {wdr.range1, wdr.range2, wdr.range3};
    const uint32_t count = wdr.totalRange == 3 ? 3 : 2;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t value = static_cast<uint32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        if (id == property::kWDRThreshold) {
            value *= 10;  // the camera holds thresholds x 10
            if (value > UINT16_MAX) {
                QLOG_WARN("threshold:%u is invalid.\n", value / 10);
                return kStatusBadParameter;
            }
        }
        PulseCountRecord record;
        record.pulseCount = static_cast<uint16_t>(value);
        record.group = static_cast<uint8_t>(ranges[i] / 3);
        record.index = static_cast<uint8_t>(ranges[i] % 3);
        record.reserved = bytes[6];
        const int32_t ret = id == property::kWDRSetting     ? SetPulseCountConfig(record)
                            : id == property::kWDRThreshold ? SetWDRThreshold(record)
                                                            : SetWDRGMMGain(record);
        if (ret != 0) {
            return ret;
        }
    }
    return 0;
}

}  // namespace quorix
