/*
 * quorix.hpp - a header-only C++17 layer over quorix_api.h: owners that close what they
 * open, exceptions that name the failed call, frame views, typed settings and callbacks
 * that take lambdas. Everything here is inline code over the C functions; it adds no
 * symbols of its own to an application's interface.
 *
 *     quorix::Library library;                                 // Ns2_Initialize .. Shutdown
 *     auto found = library.wait_for("TK5P:QX1", std::chrono::seconds(5));
 *     if (!found) return 1;                                    // not announced in time
 *     quorix::Device camera = quorix::Device::open(found->uri);
 *     quorix::Session session = camera.session(0);
 *     quorix::Stream stream = session.stream();                // stopped when it goes
 *     quorix::FrameSet frames = session.read();                // throws quorix::Error
 *     if (auto mm = frames.depth().depth_at(320, 240)) std::printf("%u mm\n", *mm);
 *     std::vector<NsVector3f> cloud = session.points(frames.depth());
 *     quorix::Frame kept = frames.colour().copy();             // outlives the next read
 *
 * Errors: every failed call throws quorix::Error with the status and the call's name,
 * except the try_ forms, which return a Result (a timeout is no exception in a loop).
 * Destructors never throw; they ignore the status of what they release.
 *
 * Threads: as the C interface. Library is made and destroyed on one thread while no other
 * call runs. A Device, its Sessions and Registrations may be used from any thread, but one
 * object is not destroyed while another thread uses it.
 */
#ifndef QUORIX_QUORIX_HPP
#define QUORIX_QUORIX_HPP

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "quorix/quorix_api.h"

namespace quorix {

// ---- errors ------------------------------------------------------------------------------

// A failed call: what() reads "Ns2_SetDepthRange: NsStatusBadDepthRange (-10): <text>",
// with the wrapper's own detail in parentheses at the end where it has one.
class Error : public std::runtime_error {
public:
    Error(const std::string& call, NsReturnStatus status, const std::string& detail = {})
        : std::runtime_error(Message(call, status, detail)), m_status(status) {}
    NsReturnStatus status() const noexcept { return m_status; }

private:
    static std::string Message(const std::string& call, NsReturnStatus status,
                               const std::string& detail) {
        std::string text = call + ": " + Ns2_GetStatusName(status) + " (" + std::to_string(status) +
                           "): " + Ns2_GetStatusText(status);
        return detail.empty() ? text : text + " (" + detail + ")";
    }
    NsReturnStatus m_status;
};

inline void check(const char* call, NsReturnStatus status) {
    if (status != NsStatusOk) {
        throw Error(call, status);
    }
}

// The value of a call that may fail without an exception; value() throws the Error.
// Like std::optional, * and -> do not check: test ok() (or the bool) first.
template <class T>
class Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(const char* call, NsReturnStatus status) : m_status(status), m_call(call) {}

    bool ok() const noexcept { return m_status == NsStatusOk; }
    explicit operator bool() const noexcept { return ok(); }
    bool timed_out() const noexcept { return m_status == NsStatusFrameTimeout; }
    NsReturnStatus status() const noexcept { return m_status; }
    Error error() const { return Error(m_call, m_status); }

    T& value() & { return ok() ? m_value : throw error(); }
    const T& value() const& { return ok() ? m_value : throw error(); }
    T&& value() && { return ok() ? std::move(m_value) : throw error(); }
    T& operator*() noexcept { return m_value; }
    const T& operator*() const noexcept { return m_value; }
    T* operator->() noexcept { return &m_value; }
    const T* operator->() const noexcept { return &m_value; }

private:
    T m_value{};
    NsReturnStatus m_status = NsStatusOk;
    const char* m_call = "";
};

// ---- frames ------------------------------------------------------------------------------

// A view of contiguous elements (std::span is C++20).
template <class T>
class span {
public:
    constexpr span() noexcept = default;
    constexpr span(T* data, size_t size) noexcept : m_data(data), m_size(size) {}
    constexpr T* data() const noexcept { return m_data; }
    constexpr size_t size() const noexcept { return m_size; }
    constexpr bool empty() const noexcept { return m_size == 0; }
    constexpr T* begin() const noexcept { return m_data; }
    constexpr T* end() const noexcept { return m_data + m_size; }
    constexpr T& operator[](size_t i) const noexcept { return m_data[i]; }

private:
    T* m_data = nullptr;
    size_t m_size = 0;
};

// Whether a depth pixel carries a distance: 0 (nothing measured) and 65535 (beyond the
// depth range) do not.
constexpr bool valid_depth(uint16_t mm) noexcept {
    return mm != NsDepthInvalid && mm != NsDepthBeyondRange;
}

// One frame. A view from read() is valid until the next read, stop or close of its
// session; a view inside a frame callback only during that call. copy() makes a Frame that
// owns its pixels (shared and read-only between copies of it) and is valid for as long as
// it lives. An empty Frame (no such frame in the set) is false.
class Frame {
public:
    Frame() noexcept : m_frame() {}
    explicit Frame(const NsFrame& frame) noexcept : m_frame(frame) {}

    explicit operator bool() const noexcept { return m_frame.pFrameData != nullptr; }
    NsFrameType type() const noexcept { return m_frame.frameType; }
    NsPixelFormat pixel_format() const noexcept { return m_frame.pixelFormat; }
    uint16_t width() const noexcept { return m_frame.width; }
    uint16_t height() const noexcept { return m_frame.height; }
    uint32_t index() const noexcept { return m_frame.frameIndex; }
    uint32_t depth_range() const noexcept { return m_frame.depthRange; }
    float exposure_time() const noexcept { return m_frame.exposureTime; }
    uint64_t raw_timestamp() const noexcept { return m_frame.timestamp; }
    // Local time of day at receipt; empty when the stamp does not decode.
    std::optional<NsTimeOfDay> time() const noexcept {
        NsTimeOfDay t{};
        return NsDecodeTimestamp(m_frame.timestamp, &t) != 0 ? std::optional<NsTimeOfDay>(t)
                                                             : std::nullopt;
    }
    const NsFrame& raw() const noexcept { return m_frame; }
    bool owns_pixels() const noexcept { return m_owner != nullptr; }

    span<const uint8_t> bytes() const noexcept {
        return {static_cast<const uint8_t*>(m_frame.pFrameData), m_frame.dataLen};
    }
    // Depth in mm (NsPixelDepth16) or 16-bit IR (NsPixelGrey16), row by row.
    span<const uint16_t> pixels16() const {
        if (m_frame.pixelFormat != NsPixelDepth16 && m_frame.pixelFormat != NsPixelGrey16) {
            throw Error("quorix::Frame::pixels16", NsStatusBadFrameType,
                        "pixel format " + std::to_string(m_frame.pixelFormat) + " is not 16-bit");
        }
        return {static_cast<const uint16_t*>(m_frame.pFrameData), size_t{m_frame.dataLen} / 2};
    }
    // The distance at column x, row y of a depth frame; empty where there is none.
    std::optional<uint16_t> depth_at(uint32_t x, uint32_t y) const {
        const span<const uint16_t> px = pixels16();
        const size_t i = size_t{y} * m_frame.width + x;
        if (m_frame.pixelFormat != NsPixelDepth16 || x >= m_frame.width || i >= px.size() ||
            !valid_depth(px[i])) {
            return std::nullopt;
        }
        return px[i];
    }

    Frame copy() const {
        Frame owned(m_frame);
        if (!*this) {
            return owned;
        }
        const span<const uint8_t> from = bytes();
        auto pixels = std::make_shared<std::vector<uint8_t>>(from.begin(), from.end());
        owned.m_frame.pFrameData = pixels->data();
        owned.m_owner = std::move(pixels);
        return owned;
    }

private:
    NsFrame m_frame;
    std::shared_ptr<const std::vector<uint8_t>> m_owner;
};

// The frames of one capture. A frame the set does not hold is an empty Frame. Data modes
// with WDR fusion deliver their fused depth (type WDRDepthFrame) as depth().
class FrameSet {
public:
    FrameSet() noexcept = default;
    explicit FrameSet(const NsFrameSet& set) noexcept {
        const NsFrameSlot* slots[kKinds] = {&set.depth,        &set.ir,          &set.colour,
                                            &set.mappedColour, &set.mappedDepth, &set.mappedIr};
        for (size_t k = 0; k < kKinds; ++k) {
            if (slots[k]->present != 0) {
                m_frames[k] = Frame(slots[k]->frame);
            }
        }
    }

    const Frame& depth() const noexcept { return m_frames[0]; }
    const Frame& ir() const noexcept { return m_frames[1]; }
    const Frame& colour() const noexcept { return m_frames[2]; }
    const Frame& mapped_colour() const noexcept { return m_frames[3]; }  // in depth geometry
    const Frame& mapped_depth() const noexcept { return m_frames[4]; }   // in colour geometry
    const Frame& mapped_ir() const noexcept { return m_frames[5]; }      // in colour geometry

private:
    friend class Session;
    static constexpr size_t kKinds = 6;
    std::array<Frame, kKinds> m_frames{};
};

// ---- devices -----------------------------------------------------------------------------

namespace detail {

// The text of a NUL-terminated array that may lack its NUL.
template <size_t N>
std::string text_of(const char (&chars)[N]) {
    return std::string(chars, std::find(chars, chars + N, '\0'));
}

}  // namespace detail

struct DeviceInfo {
    std::string uri;    // pass to Device::open
    std::string alias;  // serial number (USB) or discovery name
    NsDeviceType type = 0;
    uint32_t sessions = 0;
    NsConnectStatus status = ConnectUNKNOWN;

    DeviceInfo() = default;
    explicit DeviceInfo(const NsDeviceInfo& d)
        : uri(detail::text_of(d.uri)),
          alias(detail::text_of(d.alias)),
          type(d.devicetype),
          sessions(d.SessionCount),
          status(d.status) {}
};

enum class HotPlug { added = NsHotPlugAdded, removed = NsHotPlugRemoved };
using FrameCallback = std::function<void(const FrameSet&)>;
using HotPlugCallback = std::function<void(const DeviceInfo&, HotPlug)>;

// Frame callbacks registered at once in a process (the C callback has no context, so each
// registration takes one of this many fixed entry points).
constexpr size_t kMaxFrameCallbacks = 16;

namespace detail {

// The callbacks' table. The C side calls a fixed function per entry (trampoline); each
// entry holds the application's function, the session it was registered for, a count of
// the calls in progress and a generation that changes whenever it is freed, so that a
// Registration of an entry freed meanwhile (close, shutdown) does nothing. One lock for
// all: it is held only to look at the table, never during a call.
struct Entry {
    std::shared_ptr<void> function;  // FrameCallback or HotPlugCallback
    NsDeviceHandle handle = nullptr;
    uint32_t session = 0;
    uint64_t generation = 1;
    int calls = 0;
};

struct Table {
    std::mutex lock;
    std::condition_variable idle;
    std::array<Entry, kMaxFrameCallbacks + 1> entries;  // the last one: hot-plug
};

constexpr size_t kHotPlugEntry = kMaxFrameCallbacks;

// Never destroyed: a library thread may still call in while the program ends.
inline Table& table() {
    static Table* t = new Table;
    return *t;
}

// The entry whose callback runs on this thread, if any.
inline const Entry*& current_entry() {
    thread_local const Entry* entry = nullptr;
    return entry;
}

template <class F, class... Args>
void call_entry(Entry& e, const Args&... args) noexcept {
    Table& t = table();
    std::shared_ptr<void> function;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        if (!e.function) {
            return;
        }
        function = e.function;
        ++e.calls;
    }
    const Entry* outer = std::exchange(current_entry(), &e);
    (*static_cast<F*>(function.get()))(args...);  // an exception here ends the program
    current_entry() = outer;
    std::lock_guard<std::mutex> guard(t.lock);
    --e.calls;
    t.idle.notify_all();
}

// Frees the entry if it still is this generation, then waits for its calls in progress
// (other than the one on this thread, which may be freeing its own registration).
inline void free_entry(size_t index, uint64_t generation) {
    Table& t = table();
    Entry& e = t.entries[index];
    std::unique_lock<std::mutex> guard(t.lock);
    if (e.generation != generation || !e.function) {
        return;
    }
    e.function.reset();
    e.handle = nullptr;
    ++e.generation;
    const int own = current_entry() == &e ? 1 : 0;
    t.idle.wait(guard, [&] { return e.calls <= own; });
}

// The generations of the frame entries of a handle (nullptr: of all), 0 for the others:
// taken before a close, so that an entry registered afterwards on a new device that got
// the same handle value is not freed with them.
using Generations = std::array<uint64_t, kMaxFrameCallbacks>;
inline Generations frame_entries(NsDeviceHandle handle) {
    Generations generations{};
    std::lock_guard<std::mutex> guard(table().lock);
    for (size_t i = 0; i < kMaxFrameCallbacks; ++i) {
        const Entry& e = table().entries[i];
        if (e.function && (handle == nullptr || e.handle == handle)) {
            generations[i] = e.generation;
        }
    }
    return generations;
}
inline void free_frame_entries(const Generations& generations) {
    for (size_t i = 0; i < kMaxFrameCallbacks; ++i) {
        free_entry(i, generations[i]);
    }
}

template <size_t N>
void frame_trampoline(const NsFrameSet* set) noexcept {
    call_entry<FrameCallback>(table().entries[N], FrameSet(*set));
}

template <size_t... N>
constexpr std::array<NsFrameCallback, sizeof...(N)> trampolines(std::index_sequence<N...>) {
    return {{&frame_trampoline<N>...}};
}

// The context is the hot-plug entry. It is never freed: Ns2_SetHotPlugStatusCallback_
// does not wait for a call already under way, which may still hold the old context.
inline void hotplug_trampoline(const NsDeviceInfo* device, int32_t event, void* entry) noexcept {
    call_entry<HotPlugCallback>(*static_cast<Entry*>(entry), DeviceInfo(*device),
                                static_cast<HotPlug>(event));
}

}  // namespace detail

// A callback registration: the callback is called until this is reset or destroyed (and
// not after either returns, also when reset from inside the callback itself), or until its
// device is closed or the library shut down. Movable; a moved-from one holds nothing.
class Registration {
public:
    Registration() noexcept = default;
    Registration(Registration&& other) noexcept
        : m_index(other.m_index), m_generation(std::exchange(other.m_generation, 0)) {}
    Registration& operator=(Registration&& other) noexcept {
        if (this != &other) {
            reset();
            m_index = other.m_index;
            m_generation = std::exchange(other.m_generation, 0);
        }
        return *this;
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration() { reset(); }

    // Whether the callback is still registered.
    bool active() const noexcept {
        std::lock_guard<std::mutex> guard(detail::table().lock);
        const detail::Entry& e = detail::table().entries[m_index];
        return m_generation != 0 && e.generation == m_generation && e.function;
    }
    explicit operator bool() const noexcept { return active(); }

    void reset() noexcept {
        if (m_generation == 0) {
            return;
        }
        NsDeviceHandle handle = nullptr;
        uint32_t session = 0;
        bool mine = false;
        {
            std::lock_guard<std::mutex> guard(detail::table().lock);
            const detail::Entry& e = detail::table().entries[m_index];
            mine = e.generation == m_generation && e.function;
            handle = e.handle;
            session = e.session;
        }
        if (mine && m_index == detail::kHotPlugEntry) {
            Ns2_SetHotPlugStatusCallback_(nullptr, nullptr);
        } else if (mine) {
            Ns2_UnRegisterNotify(handle, session);  // joins the callback thread
        }
        detail::free_entry(m_index, std::exchange(m_generation, 0));
    }

private:
    friend class Session;
    friend class Library;
    Registration(size_t index, uint64_t generation) noexcept
        : m_index(index), m_generation(generation) {}

    size_t m_index = 0;
    uint64_t m_generation = 0;  // 0: holds nothing
};

// ---- sessions ----------------------------------------------------------------------------

// Library-side switches with a setter and a getter (enable / enabled); synchronize: depth,
// IR and colour of one capture are delivered together.
enum class Switch {
    time_filter,
    spatial_filter,
    smoothing_filter,
    compute_real_depth_correction,
    depth_distortion_correction,
    ir_distortion_correction,
    rgb_distortion_correction,
    rgb_correction,
    mapper_depth_to_rgb,
    mapper_rgb_to_depth,
    mapper_rgb_to_ir,
    synchronize
};

enum class Sensor : int32_t { depth = 1, colour = 2 };

class Stream;

// One sensor of an opened device: a handle and an index, cheap to copy. It does not own
// the device; using it after the Device is closed throws NsStatusBadHandle.
class Session {
public:
    Session(NsDeviceHandle handle, uint32_t index) noexcept : m_handle(handle), m_index(index) {}
    NsDeviceHandle handle() const noexcept { return m_handle; }
    uint32_t index() const noexcept { return m_index; }

    // -- streaming
    void start() { check("Ns2_StartStream", Ns2_StartStream(m_handle, m_index)); }
    void stop() { check("Ns2_StopStream", Ns2_StopStream(m_handle, m_index)); }
    inline Stream stream();  // started now, stopped when the Stream goes

    // Waits up to the read timeout for the next frames. try_read() reports a timeout
    // (timed_out()) and failures in its Result; read() throws for both.
    Result<FrameSet> try_read() noexcept {
        uint32_t ready = 0;
        if (const NsReturnStatus s = Ns2_ReadNextFrame(m_handle, m_index, &ready); s != 0) {
            return {"Ns2_ReadNextFrame", s};
        }
        struct Kind {
            uint32_t bit;
            NsFrameType type;
            size_t slot;
        };
        static constexpr Kind kinds[] = {{NsFrameReadyDepth, DepthFrame, 0},
                                         {NsFrameReadyWDRDepth, WDRDepthFrame, 0},
                                         {NsFrameReadyIR, IRFrame, 1},
                                         {NsFrameReadyRGB, RGBFrame, 2},
                                         {NsFrameReadyMappedRGB, MappedRGBFrame, 3},
                                         {NsFrameReadyMappedDepth, MappedDepthFrame, 4},
                                         {NsFrameReadyMappedIR, MappedIRFrame, 5}};
        FrameSet set;
        for (const Kind& k : kinds) {
            NsFrame f{};
            if ((ready & k.bit) == 0) {
                continue;
            }
            const NsReturnStatus s = Ns2_GetFrame(m_handle, m_index, k.type, &f);
            if (s == NsStatusOk) {
                set.m_frames[k.slot] = Frame(f);
            } else if (s != NsStatusBadFrameType) {  // -4: taken meanwhile, not there
                return {"Ns2_GetFrame", s};
            }
        }
        return set;
    }
    FrameSet read() { return try_read().value(); }
    void set_read_timeout(std::chrono::milliseconds timeout) {
        const auto ms = narrow<uint16_t>("Ns2_SetWaitTimeOfReadNextFrame", timeout.count());
        check("Ns2_SetWaitTimeOfReadNextFrame",
              Ns2_SetWaitTimeOfReadNextFrame(m_handle, m_index, ms));
    }
    NsFrameMode frame_mode(NsFrameType type) const {
        NsFrameMode mode{};
        check("Ns2_GetFrameMode", Ns2_GetFrameMode(m_handle, m_index, type, &mode));
        return mode;
    }

    // Frames go to `callback` on the session's callback thread instead of read() (which
    // then fails with NsStatusFailed). At most one per session and kMaxFrameCallbacks per
    // process (NsStatusFailed beyond). The callback must not throw.
    Registration on_frames(FrameCallback callback) {
        if (!callback) {
            throw Error("quorix::Session::on_frames", NsStatusNullPointer, "empty callback");
        }
        detail::Table& t = detail::table();
        size_t index = kMaxFrameCallbacks;
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> guard(t.lock);
            for (size_t i = 0; i < kMaxFrameCallbacks; ++i) {
                const detail::Entry& e = t.entries[i];
                if (e.function && e.handle == m_handle && e.session == m_index) {
                    throw Error("quorix::Session::on_frames", NsStatusFailed,
                                "this session has a frame callback already");
                }
                if (!e.function && index == kMaxFrameCallbacks) {
                    index = i;
                }
            }
            if (index == kMaxFrameCallbacks) {
                throw Error("quorix::Session::on_frames", NsStatusFailed,
                            "all " + std::to_string(kMaxFrameCallbacks) +
                                " frame callbacks of the process are in use");
            }
            detail::Entry& e = t.entries[index];
            e.function = std::make_shared<FrameCallback>(std::move(callback));
            e.handle = m_handle;
            e.session = m_index;
            generation = e.generation;
        }
        static constexpr auto entry_points =
            detail::trampolines(std::make_index_sequence<kMaxFrameCallbacks>());
        if (const NsReturnStatus s = Ns2_RegisterNotify(m_handle, m_index, entry_points[index]);
            s != NsStatusOk) {
            detail::free_entry(index, generation);
            throw Error("Ns2_RegisterNotify", s);
        }
        return Registration(index, generation);
    }

    // -- settings (the C calls' rules apply: some are confirmed by the camera while it
    // streams; values out of the C type's range throw NsStatusBadParameter unsent)
    uint32_t depth_range() const { return get<uint32_t>("Ns2_GetDepthRange", Ns2_GetDepthRange); }
    void set_depth_range(uint32_t range) { set("Ns2_SetDepthRange", Ns2_SetDepthRange, range); }
    uint8_t data_mode() const { return get<uint8_t>("Ns2_GetDataMode", Ns2_GetDataMode); }
    void set_data_mode(uint32_t mode) { set("Ns2_SetDataMode", Ns2_SetDataMode, mode); }
    uint16_t threshold() const { return get<uint16_t>("Ns2_GetThreshold", Ns2_GetThreshold); }
    void set_threshold(uint32_t value) { set("Ns2_SetThreshold", Ns2_SetThreshold, value); }
    uint16_t pulse_count() const { return get<uint16_t>("Ns2_GetPulseCount", Ns2_GetPulseCount); }
    void set_pulse_count(uint32_t count) { set("Ns2_SetPulseCount", Ns2_SetPulseCount, count); }
    uint8_t frame_rate() const { return get<uint8_t>("Ns2_GetTofFrameRate", Ns2_GetTofFrameRate); }
    void set_frame_rate(uint32_t fps) { set("Ns2_SetTofFrameRate", Ns2_SetTofFrameRate, fps); }
    // Codes NsRGBResolution1920x1080 .. NsRGBResolution640x360.
    uint16_t colour_resolution() const {
        return get<uint16_t>("Ns2_GetRGBResolution", Ns2_GetRGBResolution);
    }
    void set_colour_resolution(uint32_t code) {
        set("Ns2_SetRGBResolution", Ns2_SetRGBResolution, code);
    }
    bool enabled(Switch which) const {
        const SwitchCalls& c = switch_calls(which);
        return get<uint8_t>(c.get_name, c.get) != 0;
    }
    void enable(Switch which, bool on) {
        const SwitchCalls& c = switch_calls(which);
        check(c.set_name, c.set(m_handle, m_index, on ? 1 : 0));
    }

    // -- calibration and identity (read from the camera at the first stream start)
    NsCameraParameters camera_parameters(Sensor sensor = Sensor::depth) const {
        NsCameraParameters p{};
        check("Ns2_GetCameraParameters",
              Ns2_GetCameraParameters(m_handle, m_index, static_cast<int32_t>(sensor), &p));
        return p;
    }
    NsCameraExtrinsicParameters extrinsic_parameters() const {
        NsCameraExtrinsicParameters p{};
        check("Ns2_GetCameraExtrinsicParameters",
              Ns2_GetCameraExtrinsicParameters(m_handle, m_index, &p));
        return p;
    }
    NsMeasuringRange measuring_range(int32_t range) const {
        NsMeasuringRange r{};
        check("Ns2_GetMeasuringRange", Ns2_GetMeasuringRange(m_handle, m_index, range, &r));
        return r;
    }
    std::string serial_number() const { return text("Ns2_GetSerialNumber", Ns2_GetSerialNumber); }
    std::string firmware_version() const {
        return text("Ns2_GetFirmwareVersionNumber", Ns2_GetFirmwareVersionNumber);
    }

    // -- point clouds (mm, camera coordinates; needs a started stream)
    // One point per pixel in pixel order; pixels without depth give (0, 0, 0).
    std::vector<NsVector3f> point_grid(const Frame& depth) const {
        if (!depth || depth.pixel_format() != NsPixelDepth16) {
            throw Error("quorix::Session::point_grid", NsStatusBadFrameType, "needs a depth frame");
        }
        std::vector<NsVector3f> grid(size_t{depth.width()} * depth.height());
        check("Ns2_ConvertDepthFrameToWorldVector",
              Ns2_ConvertDepthFrameToWorldVector(m_handle, m_index, &depth.raw(), grid.data()));
        return grid;
    }
    // The points of the pixels with depth only, in pixel order.
    std::vector<NsVector3f> points(const Frame& depth) const {
        std::vector<NsVector3f> grid = point_grid(depth);
        const span<const uint16_t> px = depth.pixels16();
        size_t kept = 0;
        for (size_t i = 0; i < grid.size() && i < px.size(); ++i) {
            if (valid_depth(px[i])) {
                grid[kept++] = grid[i];
            }
        }
        grid.resize(kept);
        return grid;
    }

private:
    template <class T>
    static T narrow(const char* call, long long value) {
        constexpr auto max = static_cast<unsigned long long>(std::numeric_limits<T>::max());
        if (value < 0 || static_cast<unsigned long long>(value) > max) {
            throw Error(call, NsStatusBadParameter,
                        std::to_string(value) + " is outside 0.." + std::to_string(max));
        }
        return static_cast<T>(value);
    }
    template <class T>
    T get(const char* call, NsReturnStatus (*fn)(NsDeviceHandle, uint32_t, T*)) const {
        T value{};
        check(call, fn(m_handle, m_index, &value));
        return value;
    }
    template <class T>
    void set(const char* call, NsReturnStatus (*fn)(NsDeviceHandle, uint32_t, T), uint32_t value) {
        check(call, fn(m_handle, m_index, narrow<T>(call, value)));
    }
    std::string text(const char* call,
                     NsReturnStatus (*fn)(NsDeviceHandle, uint32_t, char*, uint32_t)) const {
        char buffer[128] = {};
        check(call, fn(m_handle, m_index, buffer, sizeof buffer));
        return detail::text_of(buffer);
    }

    struct SwitchCalls {
        const char* set_name;
        NsReturnStatus (*set)(NsDeviceHandle, uint32_t, uint8_t);
        const char* get_name;
        NsReturnStatus (*get)(NsDeviceHandle, uint32_t, uint8_t*);
    };
    static const SwitchCalls& switch_calls(Switch which) {
#define QUORIX_SWITCH(name) \
    { "Ns2_Set" #name, Ns2_Set##name, "Ns2_Get" #name, Ns2_Get##name }
        static const SwitchCalls calls[] = {
            QUORIX_SWITCH(TimeFilterEnabled),
            QUORIX_SWITCH(SpatialFilterEnabled),
            QUORIX_SWITCH(SmoothingFilterEnabled),
            QUORIX_SWITCH(ComputeRealDepthCorrectionEnabled),
            QUORIX_SWITCH(DepthDistortionCorrectionEnabled),
            QUORIX_SWITCH(IrDistortionCorrectionEnabled),
            QUORIX_SWITCH(RGBDistortionCorrectionEnabled),
            QUORIX_SWITCH(RGBCorrectionEnabled),
            QUORIX_SWITCH(MapperEnabledDepthToRGB),
            QUORIX_SWITCH(MapperEnabledRGBToDepth),
            QUORIX_SWITCH(MapperEnabledRGBToIR),
            QUORIX_SWITCH(SynchronizeEnabled),
        };
#undef QUORIX_SWITCH
        return calls[static_cast<size_t>(which)];
    }

    NsDeviceHandle m_handle;
    uint32_t m_index;
};

// A started stream, stopped when it goes. Movable; a moved-from one stops nothing.
class Stream {
public:
    explicit Stream(Session session) : m_session(session) { m_session.start(); }
    Stream(Stream&& other) noexcept
        : m_session(other.m_session), m_running(std::exchange(other.m_running, false)) {}
    Stream& operator=(Stream&&) = delete;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() {
        if (m_running) {
            Ns2_StopStream(m_session.handle(), m_session.index());
        }
    }
    void stop() {
        if (std::exchange(m_running, false)) {
            m_session.stop();
        }
    }

private:
    Session m_session;
    bool m_running = true;
};

inline Stream Session::stream() {
    return Stream(*this);
}

// An opened camera, closed when it goes (every frame callback of it ends then). Movable; a
// moved-from or closed Device is false and closes nothing.
class Device {
public:
    Device() noexcept = default;
    static Device open(const std::string& uri) { return Device("Ns2_OpenDevice", uri, false); }
    static Device open_alias(const std::string& alias) {
        return Device("Ns2_OpenDeviceByAlias", alias, true);
    }
    Device(Device&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    Device& operator=(Device&& other) noexcept {
        if (this != &other) {
            close();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() { close(); }

    explicit operator bool() const noexcept { return m_handle != nullptr; }
    NsDeviceHandle handle() const noexcept { return m_handle; }
    Session session(uint32_t index = 0) const noexcept { return Session(m_handle, index); }

    void close() noexcept {
        if (m_handle == nullptr) {
            return;
        }
        const detail::Generations callbacks = detail::frame_entries(m_handle);
        Ns2_CloseDevice(&m_handle);  // joins the device's callback threads
        detail::free_frame_entries(callbacks);
        m_handle = nullptr;
    }

private:
    Device(const char* call, const std::string& name, bool alias) {
        NsDeviceHandle h = nullptr;
        const NsReturnStatus s =
            alias ? Ns2_OpenDeviceByAlias(name.c_str(), &h) : Ns2_OpenDevice(name.c_str(), &h);
        if (s != NsStatusOk) {
            throw Error(call, s, name);
        }
        m_handle = h;
    }
    NsDeviceHandle m_handle = nullptr;
};

// ---- the library -------------------------------------------------------------------------

// Ns2_Initialize while it lives, Ns2_Shutdown when it goes (which ends every device and
// callback). One at a time per process (NsStatusReinitialised otherwise). Movable; a
// moved-from Library shuts nothing down.
class Library {
public:
    Library() { check("Ns2_Initialize", Ns2_Initialize()); }
    Library(Library&& other) noexcept : m_owner(std::exchange(other.m_owner, false)) {}
    Library& operator=(Library&&) = delete;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (!m_owner) {
            return;
        }
        uint64_t hotplug = 0;
        {
            std::lock_guard<std::mutex> guard(detail::table().lock);
            const detail::Entry& e = detail::table().entries[detail::kHotPlugEntry];
            hotplug = e.function ? e.generation : 0;
        }
        if (hotplug != 0) {
            Ns2_SetHotPlugStatusCallback_(nullptr, nullptr);
            detail::free_entry(detail::kHotPlugEntry, hotplug);
        }
        const detail::Generations callbacks = detail::frame_entries(nullptr);
        Ns2_Shutdown();  // joins every callback thread
        detail::free_frame_entries(callbacks);
    }

    static std::string version() {
        char v[16] = {};
        check("Ns2_GetSDKVersion", Ns2_GetSDKVersion(v));
        return v;
    }
    NsDiscoveryState discovery_state() const {
        NsDiscoveryState state{};
        check("Ns2_GetDiscoveryState", Ns2_GetDiscoveryState(&state));
        return state;
    }

    std::vector<DeviceInfo> devices() const {
        uint32_t count = 0;
        check("Ns2_GetDeviceCount", Ns2_GetDeviceCount(&count));
        std::vector<NsDeviceInfo> records(count);
        if (count > 0) {
            check("Ns2_GetDeviceListInfo", Ns2_GetDeviceListInfo(records.data(), count));
        }
        std::vector<DeviceInfo> list;
        for (const NsDeviceInfo& r : records) {
            if (r.uri[0] != '\0') {  // the list shrank between the two calls
                list.emplace_back(r);
            }
        }
        return list;
    }
    // The camera with this URI or alias (empty: the first camera) once it is found, or
    // nothing after `timeout`.
    std::optional<DeviceInfo> wait_for(std::string_view name,
                                       std::chrono::milliseconds timeout) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (DeviceInfo& d : devices()) {
                if (d.status != Unconnected && (name.empty() || d.uri == name || d.alias == name)) {
                    return std::move(d);
                }
            }
            if (std::chrono::steady_clock::now() >= end) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // Cameras that come and go, on a short-lived library thread, one event at a time. One
    // registration at a time per process (NsStatusFailed otherwise); it ends at the latest
    // when the Library goes. Do not destroy the Library from inside the callback.
    Registration on_hotplug(HotPlugCallback callback) {
        if (!callback) {
            throw Error("quorix::Library::on_hotplug", NsStatusNullPointer, "empty callback");
        }
        detail::Table& t = detail::table();
        detail::Entry& e = t.entries[detail::kHotPlugEntry];
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> guard(t.lock);
            if (e.function) {
                throw Error("quorix::Library::on_hotplug", NsStatusFailed,
                            "a hot-plug callback is registered already");
            }
            e.function = std::make_shared<HotPlugCallback>(std::move(callback));
            generation = e.generation;
        }
        const NsReturnStatus s = Ns2_SetHotPlugStatusCallback_(detail::hotplug_trampoline, &e);
        if (s != NsStatusOk) {
            detail::free_entry(detail::kHotPlugEntry, generation);
            throw Error("Ns2_SetHotPlugStatusCallback_", s);
        }
        return Registration(detail::kHotPlugEntry, generation);
    }

private:
    bool m_owner = true;
};

}  // namespace quorix

#endif  // QUORIX_QUORIX_HPP
