// The composite protocols of USB cameras: UsbProtocol for the HID-and-UVC models and
// TK1A_Protocol for the TK1A, which routes some operations differently and keeps its own
// data-mode scheme. Routing is the operation table's usb and tk1a columns
// (CompositeProtocol.h); these classes write only the operations marked OWN there.
#pragma once

#include <memory>

#include "model/SessionInfo.h"
#include "protocol/CompositeProtocol.h"
#include "protocol/HidProtocol.h"
#include "protocol/UvcProtocol.h"

namespace quorix {

class UsbProtocol final : public CompositeProtocol<Composite::kUsb> {
public:
    // A UvcProtocol, then a HidProtocol, both from the session's record.
    explicit UsbProtocol(const SessionInfo& info);
    UsbProtocol(std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<BaseProtocol> hid);

    // HID first, whose failure is logged and tolerated (the camera streams and takes most
    // commands over UVC); then UVC, whose result is returned.
    int32_t OpenDevice() override;
    int32_t CloseDevice() override;
};

class TK1A_Protocol final : public CompositeProtocol<Composite::kTk1a> {
public:
    static constexpr uint8_t kFirstMode = 100;
    static constexpr uint8_t kLastMode = 102;

    explicit TK1A_Protocol(const SessionInfo& info);
    TK1A_Protocol(std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<HidProtocol> hid);

    // UVC first, then HID; both are required.
    int32_t OpenDevice() override;
    int32_t CloseDevice() override;
    // Modes 100 to 102 over HID; any other resets the camera to 100 and fails with -1.
    int32_t SetDataMode(uint8_t mode) override;
    int32_t GetDataMode(uint8_t& mode) override;
    int32_t GetSN(char* text, uint32_t capacity) override;
    // Beyond the HID and DSP properties, the proximity sensors (0xE0000100 to 0xE0000106):
    // data[0] is the sensor id; a set's value follows it (the name's bytes; high then low
    // for the threshold; a 16-bit id-and-value for the byte settings, id in the low byte),
    // as does a get's answer (the 16-bit reading, the name, high and low, or one byte).
    int32_t SetProperty(uint32_t id, const void* data, uint32_t length) override;
    int32_t GetProperty(uint32_t id, void* data, uint32_t& length) override;

private:
    int32_t SetPsensor(uint32_t id, const uint8_t* data, uint32_t length);
    int32_t GetPsensor(uint32_t id, uint8_t* data, uint32_t& length);

    HidProtocol& m_hid;
    UvcProtocol* m_uvc;  // null when the inner UVC protocol is another (tests of the routing)
};

}  // namespace quorix
