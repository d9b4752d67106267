// SessionContext: what the frame engine needs from its session. The session implements
// it; tests stand a fake in, so the engine runs without a camera, a protocol or a device.
//
// Threads: the transport read, the status hand-over and the first-status / device-sync
// flags are used by the engine's reader thread; the settings and the serial number by the
// thread that applies the settings; SendProperty by the thread that reads frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "imaging/TofDecode.h"

namespace quorix {

// The session's settings the engine applies to its decoders and the pre-processing object.
struct ImageSettings {
    TofFrameMode colourMode{640, 360, 30};
    TofFrameMode depthMode{640, 480, 30};
    TofFrameMode irMode{640, 480, 30};
    int32_t rotation = -255;  // image rotation setting; 0, 1, 2 turn, -255 none
    uint8_t dataMode = 0;
    std::array<RangeOffset, 3> rangeOffsets{};
    std::array<MeasuringRange, 3> measuringRanges{};
    // Depth matrix 9, depth distortion 8, colour matrix 9, colour distortion 8, rotation 9,
    // translation 3.
    std::array<double, 46> calibration{};
    std::string configFolder;

    const double* DepthMatrix() const { return calibration.data(); }
    const double* ColourMatrix() const { return calibration.data() + 17; }
};

class SessionContext {
public:
    virtual ~SessionContext() = default;

    virtual uint32_t DeviceType() const = 0;

    // The reader holds this lock while it reads and parses one transport buffer.
    virtual std::mutex& TransportLock() = 0;
    virtual bool HasTransport() const = 0;
    // One transport buffer: `length` is the capacity on entry and the bytes read on return
    // (0 when nothing arrived); a negative result is a failed read.
    virtual int32_t ReadTransport(uint8_t* buffer, uint32_t& length) = 0;

    // A device status record from the stream (copied only as far as `length` reaches).
    virtual void StoreDeviceStatus(const uint8_t* payload, size_t length) = 0;
    virtual bool IsFirstStatus() const = 0;
    virtual void SetFirstStatus(bool first) = 0;
    virtual void SetDeviceSync(bool on) = 0;
    // JSON-transfer state from the stream, and its result once the transfer ended.
    virtual void StoreJsonState(uint8_t state) = 0;
    virtual void StoreJsonResult(uint8_t result, uint8_t errorCode) = 0;

    virtual ImageSettings CurrentImageSettings() const = 0;
    // The camera's serial number, NUL-terminated within `capacity` bytes.
    virtual int32_t SerialNumber(char* buffer, uint32_t capacity) = 0;
    // Sends a property to the camera (results of the device-assist processing).
    virtual int32_t SendProperty(uint32_t id, const void* data, uint32_t length) = 0;
};

}  // namespace quorix
