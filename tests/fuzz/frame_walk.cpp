// The frame engine's reader on data-frame payloads: a session hands the input to the
// engine's own reader thread as one transport buffer; the thread walks its sub-packets
// into raw records, status, pushed parameters and JSON state exactly as in a stream, and
// the raw ToF records it hands on are then decoded as the ToF decoder would. Byte 0 picks
// the camera model (bit 0: one that also sends bare depth buffers), bit 1 turns the IR
// stream off, and bit 2 says how the rest gives the buffer:
//   clear  the rest is the buffer
//   set    sub-packets, each as type, 24-bit length, range byte and a piece with a 16-bit
//          length before it; the buffer gets their headers (0x2C: a 16-bit length, no
//          range byte) and payloads of the length given, the piece repeated to fill them
//          (so inputs of a few hundred bytes carry full-size images)
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "FuzzInput.h"
#include "Tile.h"
#include "imaging/ImageProc.h"
#include "protocol/DeviceStatus.h"

using namespace quorix;

namespace {

// Hands buffers to the reader one at a time and waits until it has processed each.
class FuzzSession final : public SessionContext {
public:
    explicit FuzzSession(uint32_t deviceType) : m_deviceType(deviceType) {}

    // Returns once the reader has processed `buffer` and come back for the next one.
    void Feed(std::span<const uint8_t> buffer) {
        std::unique_lock lock(m_lock);
        m_buffer.assign(buffer.begin(), buffer.end());
        m_pending = true;
        const uint64_t served = m_served;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_served > served && m_waiting; });
    }

    uint32_t DeviceType() const override { return m_deviceType; }
    std::mutex& TransportLock() override { return m_transportLock; }
    bool HasTransport() const override { return true; }
    int32_t ReadTransport(uint8_t* buffer, uint32_t& length) override {
        std::unique_lock lock(m_lock);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_pending; });
        m_waiting = false;
        m_pending = false;
        length = static_cast<uint32_t>(std::min<size_t>(m_buffer.size(), length));
        memcpy(buffer, m_buffer.data(), length);
        ++m_served;
        return 0;
    }
    void StoreDeviceStatus(const uint8_t* payload, size_t length) override {
        ParseDeviceStatus(payload, length, m_status);
    }
    bool IsFirstStatus() const override { return m_first; }
    void SetFirstStatus(bool first) override { m_first = first; }
    void SetDeviceSync(bool) override {}
    void StoreJsonState(uint8_t) override {}
    void StoreJsonResult(uint8_t, uint8_t) override {}
    ImageSettings CurrentImageSettings() const override { return {}; }
    int32_t SerialNumber(char* buffer, uint32_t capacity) override {
        snprintf(buffer, capacity, "FUZZ");
        return 0;
    }
    int32_t SendProperty(uint32_t, const void*, uint32_t) override { return 0; }

private:
    const uint32_t m_deviceType;
    std::mutex m_transportLock;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_buffer;
    bool m_pending = false;
    bool m_waiting = false;
    uint64_t m_served = 0;
    DeviceStatus m_status;
    bool m_first = true;
};

// A session, its engine with the reader running and streaming, past the buffers that
// only start a stream up. Never destroyed: the reader waits in the session for good.
struct Engine {
    explicit Engine(uint32_t deviceType) : session(deviceType), proc(&session) {
        const MeasuringRange identity = {0, 4096, 5000, 7500, 3000, 4800, 7400, 100, 300, 500};
        proc.Tof().SetMeasuringRange(0, identity);
        proc.SetWaitTime(0);  // raw records are taken without waiting
        proc.Start();
        proc.SetStreamSwitches(true);
        std::vector<uint8_t> depth(5 + 460800, 0x10);
        depth[0] = 0x21;
        depth[1] = 0x00;
        depth[2] = 0x08;
        depth[3] = 0x07;  // 460800
        depth[4] = 0;
        for (uint32_t i = 0; i < ImageProc::kFirstDeliveredFrame; ++i) {
            session.Feed(depth);
            DecodeHandedOn();
        }
    }
    void DecodeHandedOn() {
        Frame* raw = nullptr;
        while (proc.GetRawTofFrame(raw) == 0 && raw != nullptr) {
            Frame* depth = proc.Tof().DepthQueue().AllocFrame(kPoolDepth);
            Frame* ir = proc.Tof().IRQueue().AllocFrame(kPoolIR);
            proc.Tof().DecodeRecord(*raw, depth, ir);
            proc.Tof().DepthQueue().Release(depth);
            proc.Tof().IRQueue().Release(ir);
            proc.ReleaseRawTofFrame(raw);
        }
        while (proc.GetRawRgbFrame(raw) == 0 && raw != nullptr) {
            if (raw->dataLen > raw->capacity) {
                __builtin_trap();
            }
            proc.ReleaseRawRgbFrame(raw);
        }
    }
    FuzzSession session;
    ImageProc proc;
};

std::vector<uint8_t> Expand(fuzz::FuzzInput& in) {
    std::vector<uint8_t> buffer;
    while (!in.Empty()) {
        const uint8_t type = in.Byte();
        const uint32_t length = in.U16() | static_cast<uint32_t>(in.Byte()) << 16;
        const uint8_t range = in.Byte();
        const auto piece = in.Chunk();
        const bool status = type == 0x2C;
        const size_t header = status ? 3 : 5;
        if (buffer.size() + header + length > ImageProc::kReadBufferBytes) {
            break;
        }
        const size_t at = buffer.size();
        buffer.resize(at + header + length);
        buffer[at] = type;
        buffer[at + 1] = static_cast<uint8_t>(length);
        buffer[at + 2] = static_cast<uint8_t>(length >> 8);
        if (!status) {
            buffer[at + 3] = static_cast<uint8_t>(length >> 16);
            buffer[at + 4] = range;
        }
        fuzz::Tile(piece, buffer.data() + at + header, length);
    }
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Engine* const engines[] = {new Engine(TK3A), new Engine(TK_MIPI)};
    fuzz::FuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    Engine& e = *engines[flags & 1];
    e.proc.SetFrameEnabled(1, (flags & 2) == 0);
    if ((flags & 4) == 0) {
        e.session.Feed(in.Rest());
    } else {
        e.session.Feed(Expand(in));
    }
    e.DecodeHandedOn();
    return 0;
}
