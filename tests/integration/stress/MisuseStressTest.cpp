// The C interface hammered at random from several threads against simulated network
// cameras, with the misuse an application can commit: null and closed handles, stale
// copies of closed handles, session indexes past the last, null pointers, oversize counts
// and sizes, closes racing every other call on the same handle, and frame callbacks that
// stop or close their own device. Checked: no crash (and, in the sanitizer builds, no
// report), every status from the public set, no success on a closed handle, every call
// back within its own documented wait (by a generous margin: the machine is slow and
// shared), a prompt Ns2_Shutdown and no library thread left after it.
//
// QUORIX_STRESS_SECONDS sets the hammering time (default 15), QUORIX_STRESS_SEED the seed
// (printed at the start, for replaying a failure); QUORIX_STRESS_BACKTRACE=1 prints every
// thread's stack (gdb) when a call hangs.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "sim/SimCamera.h"
#include "support/DeviceList.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kCameras = 3;
constexpr int kWorkers = 6;
constexpr uint32_t kMaxSessionsPerCamera = 2;

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    return std::strtoull(text, nullptr, 10);
}

bool IsPublicStatus(NsReturnStatus s) {
    return s == 0 || (s >= -19 && s <= -1) || (s >= -105 && s <= -101) || s == -255;
}

// ---- what each call may take -------------------------------------------------------------

// Documented waits, in milliseconds. A call may also wait behind another call on the same
// session, hence the margin in Limit().
constexpr int64_t kLocal = 0;                     // no camera traffic
constexpr int64_t kExchange = 2005;               // one command and its reply
constexpr int64_t kConfirmed = kExchange + 3000;  // the longest confirmation poll but data mode
constexpr int64_t kDataMode = kExchange + 6000;
constexpr int64_t kClose = 3000 + 2 * 1155;      // drain, then the joins of its threads
constexpr int64_t kOpen = 5000 + 4 * kExchange;  // connect, then the identity exchanges
constexpr int64_t kStart = 8 * kExchange;        // the first start reads the calibration

int64_t Limit(int64_t bound) {
    return 2 * bound + 10000;
}

struct Worst {
    int64_t ms = 0;
    uint64_t calls = 0;
    std::map<NsReturnStatus, uint64_t> statuses;
    int64_t bound = 0;
};

// Everything the threads report, merged under one lock.
class Findings {
public:
    void Record(const std::string& name, int64_t bound, int64_t ms, NsReturnStatus status) {
        std::lock_guard guard(m_lock);
        Worst& w = m_worst[name];
        w.calls++;
        w.statuses[status]++;
        w.bound = std::max(w.bound, bound);
        w.ms = std::max(w.ms, ms);
        if (!IsPublicStatus(status)) {
            Fault(name + " returned " + std::to_string(status) + ", outside the public set");
        }
        if (ms > Limit(bound)) {
            Fault(name + " took " + std::to_string(ms) + " ms, bound " + std::to_string(bound) +
                  " ms");
        }
    }
    void Fault(const std::string& what) {
        std::lock_guard guard(m_faultLock);
        if (m_faults.insert(what).second) {
            std::fprintf(stderr, "FAULT: %s\n", what.c_str());
        }
    }
    std::set<std::string> Faults() {
        std::lock_guard guard(m_faultLock);
        return m_faults;
    }
    void Print() {
        std::lock_guard guard(m_lock);
        std::printf("%-44s %8s %8s %8s  %s\n", "function", "calls", "worst ms", "bound ms",
                    "statuses (count)");
        for (const auto& [name, w] : m_worst) {
            std::string statuses;
            for (const auto& [status, count] : w.statuses) {
                statuses += " " + std::to_string(status) + "(" + std::to_string(count) + ")";
            }
            std::printf("%-44s %8" PRIu64 " %8" PRId64 " %8" PRId64 " %s\n", name.c_str(), w.calls,
                        w.ms, w.bound, statuses.c_str());
        }
    }

private:
    std::mutex m_lock;
    std::map<std::string, Worst> m_worst;
    std::mutex m_faultLock;
    std::set<std::string> m_faults;
};

Findings g_findings;

// Every handle the library gave out, open or closed, so calls only ever use those (or 0).
class HandlePool {
public:
    struct Entry {
        NsDeviceHandle handle;
        int camera;
        bool open;
    };

    void Opened(NsDeviceHandle h, int camera) {
        std::lock_guard guard(m_lock);
        for (Entry& e : m_entries) {
            if (e.handle == h) {
                if (e.open) {
                    g_findings.Fault("an open gave out a handle that is still open");
                } else {
                    g_findings.Fault(
                        "an open gave out the value of a closed handle: stale copies reach "
                        "the new device");
                }
                e = Entry{h, camera, true};
                return;
            }
        }
        m_entries.push_back(Entry{h, camera, true});
    }
    // A close of `h` succeeded.
    void Closed(NsDeviceHandle h) {
        std::lock_guard guard(m_lock);
        for (Entry& e : m_entries) {
            if (e.handle == h) {
                if (!e.open) {
                    g_findings.Fault("Ns2_CloseDevice succeeded on a closed handle");
                }
                e.open = false;
            }
        }
    }
    // A handle at random: mostly open ones of `camera` (any when -1), else closed, else 0.
    Entry Pick(std::mt19937_64& random) {
        std::lock_guard guard(m_lock);
        const uint64_t roll = random() % 100;
        if (roll < 4 || m_entries.empty()) {
            return Entry{nullptr, -1, false};
        }
        std::vector<const Entry*> wanted;
        for (const Entry& e : m_entries) {
            if (e.open == (roll < 80)) {
                wanted.push_back(&e);
            }
        }
        if (wanted.empty()) {
            return m_entries[random() % m_entries.size()];
        }
        return *wanted[random() % wanted.size()];
    }
    // The open handle of `camera`, or 0.
    NsDeviceHandle OpenOf(int camera) {
        std::lock_guard guard(m_lock);
        for (const Entry& e : m_entries) {
            if (e.open && e.camera == camera) {
                return e.handle;
            }
        }
        return nullptr;
    }
    bool IsClosed(NsDeviceHandle h) {
        std::lock_guard guard(m_lock);
        for (const Entry& e : m_entries) {
            if (e.handle == h) {
                return !e.open;
            }
        }
        return false;
    }
    std::vector<NsDeviceHandle> OpenHandles() {
        std::lock_guard guard(m_lock);
        std::vector<NsDeviceHandle> open;
        for (const Entry& e : m_entries) {
            if (e.open) {
                open.push_back(e.handle);
            }
        }
        return open;
    }

private:
    std::mutex m_lock;
    std::vector<Entry> m_entries;
};

HandlePool g_pool;

// Frame and hot-plug callbacks. A frame callback knows its camera only by which function
// it is, so there is one per camera; now and then it stops or closes its own device.
std::atomic<bool> g_callbacksAct{false};
std::atomic<int> g_callbacksInside{0};
std::atomic<uint64_t> g_framesSeen{0};
std::atomic<uint64_t> g_hotPlugEvents{0};

void Timed(const char* name, int64_t bound, const std::function<NsReturnStatus()>& call);

// Touches every byte of each present frame, so a frame handed out after its buffer went
// shows up under the address sanitizer.
void TouchFrames(const NsFrameSet* frames) {
    uint64_t sum = 0;
    for (const NsFrameSlot* slot :
         {&frames->colour, &frames->depth, &frames->ir, &frames->mappedColour, &frames->mappedDepth,
          &frames->mappedIr}) {
        if (slot->present != 0 && slot->frame.pFrameData != nullptr) {
            const auto* bytes = static_cast<const uint8_t*>(slot->frame.pFrameData);
            for (uint32_t i = 0; i < slot->frame.dataLen; i += 61) {
                sum += bytes[i];
            }
        }
    }
    g_framesSeen.fetch_add(1 + (sum & 0));
}

template <int Camera>
void OnFrames(const NsFrameSet* frames) {
    TouchFrames(frames);
    if (!g_callbacksAct.load()) {
        return;
    }
    g_callbacksInside.fetch_add(1);
    if (g_callbacksAct.load()) {
        thread_local std::mt19937_64 random(
            std::hash<std::thread::id>{}(std::this_thread::get_id()));
        const uint64_t roll = random() % 200;
        NsDeviceHandle h = g_pool.OpenOf(Camera);
        if (h != nullptr && roll == 0) {
            NsDeviceHandle copy = h;
            Timed("callback:Ns2_CloseDevice", kClose, [&] {
                const NsReturnStatus ret = Ns2_CloseDevice(&copy);
                if (ret == NsStatusOk) {
                    g_pool.Closed(h);
                }
                return ret;
            });
        } else if (h != nullptr && roll < 4) {
            Timed("callback:Ns2_StopStream", kExchange, [&] { return Ns2_StopStream(h, 0); });
        } else if (h != nullptr && roll < 6) {
            Timed("callback:Ns2_UnRegisterNotify", kLocal,
                  [&] { return Ns2_UnRegisterNotify(h, 0); });
        }
    }
    g_callbacksInside.fetch_sub(1);
}

constexpr NsFrameCallback kFrameCallbacks[kCameras] = {OnFrames<0>, OnFrames<1>, OnFrames<2>};

void OnHotPlug(const NsDeviceInfo* device, int32_t event) {
    if (device != nullptr && (event == NsHotPlugAdded || event == NsHotPlugRemoved)) {
        g_hotPlugEvents.fetch_add(1);
    }
}
void OnHotPlugEx(const NsDeviceInfo* device, int32_t event, void* context) {
    OnHotPlug(device, event);
    if (context != &g_hotPlugEvents) {
        g_findings.Fault("the hot-plug callback got another context than was set");
    }
}

// ---- the calls -------------------------------------------------------------------------

// One call, what it is currently doing for the watchdog, its duration and its status.
struct Progress {
    std::atomic<const char*> name{nullptr};
    std::atomic<int64_t> startNs{0};
};
thread_local Progress* t_progress = nullptr;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void Timed(const char* name, int64_t bound, const std::function<NsReturnStatus()>& call) {
    if (t_progress != nullptr) {
        t_progress->startNs.store(NowNs());
        t_progress->name.store(name);
    }
    const auto start = Clock::now();
    const NsReturnStatus ret = call();
    const int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (t_progress != nullptr) {
        t_progress->name.store(nullptr);
    }
    g_findings.Record(name, bound, ms, ret);
}

struct Camera {
    std::string uri;
    std::string alias;
    uint32_t sessions;
};

// One worker: picks an operation and its arguments at random, again and again.
class Worker {
public:
    Worker(uint64_t seed, const std::vector<Camera>& cameras)
        : m_random(seed), m_cameras(cameras) {}

    void Run(const std::atomic<bool>& stop, Progress& progress) {
        t_progress = &progress;
        while (!stop.load()) {
            Step();
        }
        t_progress = nullptr;
    }

private:
    uint64_t Roll(uint64_t n) { return m_random() % n; }
    bool Chance(uint64_t percent) { return Roll(100) < percent; }

    // Mostly valid session indexes, sometimes one past the last or far out.
    uint32_t Session(int camera) {
        const uint64_t roll = Roll(100);
        if (roll < 80 || camera < 0) {
            return camera >= 0 ? static_cast<uint32_t>(Roll(m_cameras[camera].sessions)) : 0;
        }
        if (roll < 95) {
            return camera >= 0 ? m_cameras[camera].sessions : kMaxSessionsPerCamera;
        }
        return static_cast<uint32_t>(m_random());
    }

    // A call on a handle: checked against the pool afterwards (a closed handle must never
    // give success).
    void OnHandle(const char* name, int64_t bound, NsDeviceHandle h,
                  const std::function<NsReturnStatus()>& call) {
        const bool closedBefore = h != nullptr && g_pool.IsClosed(h);
        NsReturnStatus ret = 0;
        Timed(name, bound, [&] {
            ret = call();
            return ret;
        });
        if (ret == NsStatusOk && (h == nullptr || (closedBefore && g_pool.IsClosed(h)))) {
            g_findings.Fault(std::string(name) + " succeeded on a " +
                             (h == nullptr ? "null" : "closed") + " handle");
        }
    }

    // A size around `exact`: zero, one short, exact, one over, far over.
    uint32_t Size(uint32_t exact) {
        switch (Roll(6)) {
            case 0:
                return 0;
            case 1:
                return exact > 0 ? exact - 1 : 1;
            case 2:
            case 3:
                return exact;
            case 4:
                return exact + 1;
            default:
                return static_cast<uint32_t>(1 + Roll(64 * 1024));
        }
    }

    void Step();
    void OpenOrClose();
    void Streaming(NsDeviceHandle h, uint32_t s);
    void Settings(NsDeviceHandle h, uint32_t s);
    void Properties(NsDeviceHandle h, uint32_t s);
    void Conversions(NsDeviceHandle h, uint32_t s);
    void Library();

    std::mt19937_64 m_random;
    const std::vector<Camera>& m_cameras;
};

void Worker::Step() {
    const uint64_t roll = Roll(100);
    if (roll < 4 || (roll < 30 && g_pool.OpenHandles().empty())) {
        OpenOrClose();
        return;
    }
    if (roll < 13) {
        Library();
        return;
    }
    const HandlePool::Entry e = g_pool.Pick(m_random);
    const uint32_t s = Session(e.camera);
    if (roll < 45) {
        Streaming(e.handle, s);
    } else if (roll < 75) {
        Settings(e.handle, s);
    } else if (roll < 90) {
        Properties(e.handle, s);
    } else {
        Conversions(e.handle, s);
    }
}

void Worker::OpenOrClose() {
    const int camera = static_cast<int>(Roll(kCameras));
    switch (Roll(9)) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 6: {
            const bool byAlias = Chance(40);
            const std::string key = Chance(5) ? std::string("TK5P:NOBODY")
                                    : byAlias ? m_cameras[camera].alias
                                              : m_cameras[camera].uri;
            NsDeviceHandle h = nullptr;
            const char* name = byAlias ? "Ns2_OpenDeviceByAlias" : "Ns2_OpenDevice";
            Timed(name, kOpen, [&] {
                const NsReturnStatus ret = byAlias ? Ns2_OpenDeviceByAlias(key.c_str(), &h)
                                                   : Ns2_OpenDevice(key.c_str(), &h);
                if (ret == NsStatusOk) {
                    g_pool.Opened(h, camera);
                }
                return ret;
            });
            break;
        }
        case 4:
            Timed("Ns2_OpenDevice(null)", kLocal, [] {
                NsDeviceHandle h = nullptr;
                return Ns2_OpenDevice(nullptr, &h);
            });
            Timed("Ns2_OpenDevice(null handle)", kLocal,
                  [&] { return Ns2_OpenDevice(m_cameras[camera].uri.c_str(), nullptr); });
            Timed("Ns2_OpenDeviceByAlias(null)", kLocal, [] {
                NsDeviceHandle h = nullptr;
                return Ns2_OpenDeviceByAlias(nullptr, &h);
            });
            break;
        case 5:
            Timed("Ns2_CloseDevice(null)", kLocal, [] {
                NsDeviceHandle h = nullptr;
                const NsReturnStatus a = Ns2_CloseDevice(&h);
                const NsReturnStatus b = Ns2_CloseDevice(nullptr);
                return a == NsStatusBadHandle && b == NsStatusNullPointer ? a : -1000;
            });
            break;
        default: {
            const HandlePool::Entry e = g_pool.Pick(m_random);
            if (e.handle == nullptr) {
                break;
            }
            NsDeviceHandle copy = e.handle;
            const bool closedBefore = g_pool.IsClosed(e.handle);
            Timed("Ns2_CloseDevice", kClose, [&] {
                const NsReturnStatus ret = Ns2_CloseDevice(&copy);
                if (ret == NsStatusOk) {
                    if (closedBefore && g_pool.IsClosed(e.handle)) {
                        g_findings.Fault("Ns2_CloseDevice succeeded on a closed handle");
                    }
                    g_pool.Closed(e.handle);
                }
                if (copy != nullptr && ret != NsStatusOk) {
                    g_findings.Fault("Ns2_CloseDevice left the variable set");
                }
                return ret;
            });
            break;
        }
    }
}

void Worker::Streaming(NsDeviceHandle h, uint32_t s) {
    // Starts three times as often as stops, so that streams run most of the time.
    static constexpr int kMix[] = {0, 0, 0, 1, 2, 2, 2, 2, 2,  2,  5,
                                   5, 5, 5, 7, 7, 8, 9, 9, 10, 11, 11};
    switch (kMix[Roll(std::size(kMix))]) {
        case 0:
            OnHandle("Ns2_StartStream", kStart, h, [&] { return Ns2_StartStream(h, s); });
            break;
        case 1:
            OnHandle("Ns2_StopStream", kExchange, h, [&] { return Ns2_StopStream(h, s); });
            break;
        case 2:
        case 3:
        case 4: {
            const uint16_t wait = static_cast<uint16_t>(Roll(800));
            OnHandle("Ns2_SetWaitTimeOfReadNextFrame", kLocal, h,
                     [&] { return Ns2_SetWaitTimeOfReadNextFrame(h, s, wait); });
            uint32_t ready = 0;
            // The wait time may have been raised by another thread in between: 800 ms.
            OnHandle("Ns2_ReadNextFrame", 800, h,
                     [&] { return Ns2_ReadNextFrame(h, s, Chance(5) ? nullptr : &ready); });
            break;
        }
        case 5:
        case 6: {
            static constexpr uint32_t kTypes[] = {
                DepthFrame,       IRFrame,       2, RGBFrame,      MappedRGBFrame,
                MappedDepthFrame, MappedIRFrame, 7, WDRDepthFrame, 10,
                0xFFFFFFFF};
            const uint32_t type =
                Chance(90) ? kTypes[Roll(std::size(kTypes))] : static_cast<uint32_t>(m_random());
            NsFrame frame{};
            OnHandle("Ns2_GetFrame", kLocal, h,
                     [&] { return Ns2_GetFrame(h, s, type, Chance(5) ? nullptr : &frame); });
            NsFrameMode mode{};
            OnHandle("Ns2_GetFrameMode", kLocal, h,
                     [&] { return Ns2_GetFrameMode(h, s, type, Chance(5) ? nullptr : &mode); });
            break;
        }
        case 7: {
            const int owner = static_cast<int>(Roll(kCameras));
            OnHandle("Ns2_RegisterNotify", kLocal, h, [&] {
                return Ns2_RegisterNotify(h, s, Chance(10) ? nullptr : kFrameCallbacks[owner]);
            });
            break;
        }
        case 8:
            OnHandle("Ns2_UnRegisterNotify", kLocal, h, [&] { return Ns2_UnRegisterNotify(h, s); });
            break;
        case 9: {
            const uint8_t on = static_cast<uint8_t>(Roll(3));
            switch (Roll(4)) {
                case 0:
                    OnHandle("Ns2_SetDepthFrameEnabled", kLocal, h,
                             [&] { return Ns2_SetDepthFrameEnabled(h, s, on); });
                    break;
                case 1:
                    OnHandle("Ns2_SetIrFrameEnabled", kLocal, h,
                             [&] { return Ns2_SetIrFrameEnabled(h, s, on); });
                    break;
                case 2:
                    OnHandle("Ns2_SetRgbFrameEnabled", kLocal, h,
                             [&] { return Ns2_SetRgbFrameEnabled(h, s, on); });
                    break;
                default:
                    OnHandle("Ns2_SetSynchronizeEnabled", kLocal, h,
                             [&] { return Ns2_SetSynchronizeEnabled(h, s, on); });
                    break;
            }
            break;
        }
        case 10: {
            uint8_t sync = 0;
            OnHandle("Ns2_GetSynchronizeEnabled", kLocal, h,
                     [&] { return Ns2_GetSynchronizeEnabled(h, s, Chance(10) ? nullptr : &sync); });
            OnHandle("Ns2_GetDeviceSN", kLocal, h,
                     [&] { return Ns2_GetDeviceSN(h, s, nullptr, 0); });
            break;
        }
        default: {
            const uint32_t length = Size(32);
            std::vector<char> text(std::max<uint32_t>(length, 1));
            OnHandle("Ns2_GetSerialNumber", kExchange, h, [&] {
                return Ns2_GetSerialNumber(h, s, Chance(5) ? nullptr : text.data(), length);
            });
            OnHandle("Ns2_GetFirmwareVersionNumber", kExchange, h, [&] {
                return Ns2_GetFirmwareVersionNumber(h, s, Chance(5) ? nullptr : text.data(),
                                                    length);
            });
            break;
        }
    }
}

void Worker::Settings(NsDeviceHandle h, uint32_t s) {
    const bool nullOut = Chance(5);
    switch (Roll(14)) {
        case 0: {
            const uint32_t range =
                Chance(85) ? static_cast<uint32_t>(Roll(9)) : static_cast<uint32_t>(m_random());
            OnHandle("Ns2_SetDepthRange", kConfirmed, h,
                     [&] { return Ns2_SetDepthRange(h, s, range); });
            break;
        }
        case 1: {
            uint32_t range = 0;
            OnHandle("Ns2_GetDepthRange", kExchange, h,
                     [&] { return Ns2_GetDepthRange(h, s, nullOut ? nullptr : &range); });
            break;
        }
        case 2: {
            static constexpr uint8_t kModes[] = {0, 1, 2, 3, 10, 11, 12, 13, 14, 255};
            const uint8_t mode = kModes[Roll(std::size(kModes))];
            OnHandle("Ns2_SetDataMode", kDataMode, h, [&] { return Ns2_SetDataMode(h, s, mode); });
            break;
        }
        case 3: {
            uint8_t mode = 0;
            OnHandle("Ns2_GetDataMode", kExchange, h,
                     [&] { return Ns2_GetDataMode(h, s, nullOut ? nullptr : &mode); });
            break;
        }
        case 4: {
            const uint16_t threshold =
                Chance(80) ? static_cast<uint16_t>(Roll(6554)) : static_cast<uint16_t>(m_random());
            OnHandle("Ns2_SetThreshold", kConfirmed, h,
                     [&] { return Ns2_SetThreshold(h, s, threshold); });
            uint16_t got = 0;
            OnHandle("Ns2_GetThreshold", kExchange, h,
                     [&] { return Ns2_GetThreshold(h, s, nullOut ? nullptr : &got); });
            break;
        }
        case 5: {
            const uint16_t pulses =
                static_cast<uint16_t>(Chance(80) ? 100 + Roll(4000) : m_random());
            OnHandle("Ns2_SetPulseCount", kConfirmed, h,
                     [&] { return Ns2_SetPulseCount(h, s, pulses); });
            uint16_t got = 0;
            OnHandle("Ns2_GetPulseCount", kExchange, h,
                     [&] { return Ns2_GetPulseCount(h, s, nullOut ? nullptr : &got); });
            break;
        }
        case 6: {
            const uint8_t fps = static_cast<uint8_t>(Chance(80) ? 5 + Roll(26) : Roll(256));
            OnHandle("Ns2_SetTofFrameRate", kExchange, h,
                     [&] { return Ns2_SetTofFrameRate(h, s, fps); });
            uint8_t got = 0;
            OnHandle("Ns2_GetTofFrameRate", kExchange, h,
                     [&] { return Ns2_GetTofFrameRate(h, s, nullOut ? nullptr : &got); });
            break;
        }
        case 7: {
            const uint32_t code =
                Chance(85) ? static_cast<uint32_t>(Roll(4)) : static_cast<uint32_t>(m_random());
            OnHandle("Ns2_SetRGBResolution", kConfirmed, h,
                     [&] { return Ns2_SetRGBResolution(h, s, code); });
            uint16_t got = 0;
            OnHandle("Ns2_GetRGBResolution", kExchange, h,
                     [&] { return Ns2_GetRGBResolution(h, s, nullOut ? nullptr : &got); });
            break;
        }
        case 8:
        case 9: {
            // This library's own filter and mapper switches.
            using Set = NsReturnStatus (*)(NsDeviceHandle, uint32_t, uint8_t);
            using Get = NsReturnStatus (*)(NsDeviceHandle, uint32_t, uint8_t*);
            struct Switch {
                const char* set;
                Set setFn;
                const char* get;
                Get getFn;
            };
            static constexpr Switch kSwitches[] = {
                {"Ns2_SetComputeRealDepthCorrectionEnabled",
                 Ns2_SetComputeRealDepthCorrectionEnabled,
                 "Ns2_GetComputeRealDepthCorrectionEnabled",
                 Ns2_GetComputeRealDepthCorrectionEnabled},
                {"Ns2_SetSmoothingFilterEnabled", Ns2_SetSmoothingFilterEnabled,
                 "Ns2_GetSmoothingFilterEnabled", Ns2_GetSmoothingFilterEnabled},
                {"Ns2_SetDepthDistortionCorrectionEnabled", Ns2_SetDepthDistortionCorrectionEnabled,
                 "Ns2_GetDepthDistortionCorrectionEnabled",
                 Ns2_GetDepthDistortionCorrectionEnabled},
                {"Ns2_SetIrDistortionCorrectionEnabled", Ns2_SetIrDistortionCorrectionEnabled,
                 "Ns2_GetIrDistortionCorrectionEnabled", Ns2_GetIrDistortionCorrectionEnabled},
                {"Ns2_SetRGBDistortionCorrectionEnabled", Ns2_SetRGBDistortionCorrectionEnabled,
                 "Ns2_GetRGBDistortionCorrectionEnabled", Ns2_GetRGBDistortionCorrectionEnabled},
                {"Ns2_SetRGBCorrectionEnabled", Ns2_SetRGBCorrectionEnabled,
                 "Ns2_GetRGBCorrectionEnabled", Ns2_GetRGBCorrectionEnabled},
                {"Ns2_SetMapperEnabledDepthToRGB", Ns2_SetMapperEnabledDepthToRGB,
                 "Ns2_GetMapperEnabledDepthToRGB", Ns2_GetMapperEnabledDepthToRGB},
                {"Ns2_SetMapperEnabledRGBToDepth", Ns2_SetMapperEnabledRGBToDepth,
                 "Ns2_GetMapperEnabledRGBToDepth", Ns2_GetMapperEnabledRGBToDepth},
                {"Ns2_SetMapperEnabledRGBToIR", Ns2_SetMapperEnabledRGBToIR,
                 "Ns2_GetMapperEnabledRGBToIR", Ns2_GetMapperEnabledRGBToIR},
                {"Ns2_SetTimeFilterEnabled", Ns2_SetTimeFilterEnabled, "Ns2_GetTimeFilterEnabled",
                 Ns2_GetTimeFilterEnabled},
                {"Ns2_SetSpatialFilterEnabled", Ns2_SetSpatialFilterEnabled,
                 "Ns2_GetSpatialFilterEnabled", Ns2_GetSpatialFilterEnabled},
            };
            const Switch& sw = kSwitches[Roll(std::size(kSwitches))];
            const uint8_t on = static_cast<uint8_t>(Roll(3));
            OnHandle(sw.set, kLocal, h, [&] { return sw.setFn(h, s, on); });
            uint8_t got = 0;
            OnHandle(sw.get, kLocal, h, [&] { return sw.getFn(h, s, nullOut ? nullptr : &got); });
            break;
        }
        case 10: {
            const int32_t format = static_cast<int32_t>(Roll(7)) - 1;
            OnHandle("Ns2_SetColorPixelFormat", kLocal, h,
                     [&] { return Ns2_SetColorPixelFormat(h, s, format); });
            OnHandle("Ns2_SetIRPixelFormat", kLocal, h,
                     [&] { return Ns2_SetIRPixelFormat(h, s, format); });
            const uint32_t turn = static_cast<uint32_t>(Roll(6));
            OnHandle("Ns2_SetImageMirror", kLocal, h,
                     [&] { return Ns2_SetImageMirror(h, s, turn); });
            OnHandle("Ns2_SetImageRotation", kLocal, h,
                     [&] { return Ns2_SetImageRotation(h, s, turn); });
            break;
        }
        case 11: {
            NsCameraParameters params{};
            const int32_t sensor = static_cast<int32_t>(Roll(5)) - 1;
            OnHandle("Ns2_GetCameraParameters", kExchange, h, [&] {
                return Ns2_GetCameraParameters(h, s, sensor, nullOut ? nullptr : &params);
            });
            NsMeasuringRange range{};
            const int32_t which = static_cast<int32_t>(Roll(12)) - 1;
            OnHandle("Ns2_GetMeasuringRange", kExchange, h, [&] {
                return Ns2_GetMeasuringRange(h, s, which, nullOut ? nullptr : &range);
            });
            NsCameraExtrinsicParameters extrinsic{};
            OnHandle("Ns2_GetCameraExtrinsicParameters", kExchange, h, [&] {
                return Ns2_GetCameraExtrinsicParameters(h, s, nullOut ? nullptr : &extrinsic);
            });
            break;
        }
        case 12: {
            // Registers: counts up to 255 with arrays that hold them.
            const uint8_t count = static_cast<uint8_t>(Chance(50) ? Roll(16) : Roll(256));
            std::vector<uint16_t> addresses(count + 1u, 0x10);
            std::vector<uint16_t> values(count + 1u, 0);
            OnHandle("Ns2_GetRegVal", kExchange, h, [&] {
                return Ns2_GetRegVal(h, s, nullOut ? nullptr : addresses.data(), values.data(),
                                     count);
            });
            break;
        }
        default: {
            const uint8_t on = static_cast<uint8_t>(Roll(2));
            OnHandle("Ns2_SetSlaveModeEnabled", 2 * kExchange + 2000, h,
                     [&] { return Ns2_SetSlaveModeEnabled(h, s, on); });
            break;
        }
    }
}

void Worker::Properties(NsDeviceHandle h, uint32_t s) {
    // Every public id with its size (0: text or variable).
    struct Property {
        uint32_t id;
        uint32_t size;
    };
    static constexpr Property kProperties[] = {
        {NS_PROPERTY_JSON_TRANSFER, 0},
        {NS_PROPERTY_JSON_CONFIG_MODE, 0},
        {NS_PROPERTY_PULSE_COUNT, 2},
        {NS_PROPERTY_THRESHOLD, 2},
        {NS_PROPERTY_NONE, 0},
        {NS_PROPERTY_SERIAL_NUMBER, 0},
        {NS_PROPERTY_FIRMWARE_VERSION, 0},
        {NS_PROPERTY_HARDWARE_VERSION, 0},
        {NS_PROPERTY_DATA_MODE_BYTE, 1},
        {NS_PROPERTY_DATA_MODE_LIST, 33},
        {NS_PROPERTY_DEPTH_RANGE_LIST, 10},
        {NS_PROPERTY_UPGRADE_FLAG, 0},
        {NS_PROPERTY_DEVICE_SN, 0},
        {NS_PROPERTY_MAC_ADDRESS, 0},
        {NS_PROPERTY_SOFTWARE_VERSION, 0},
        {NS_PROPERTY_IP_ADDRESS, 0},
        {NS_PROPERTY_SUBNET_MASK, 0},
        {NS_PROPERTY_DSP, 6},
        {NS_PROPERTY_UPGRADE_SUPPORTED, 0},
        {NS_PROPERTY_UPGRADE_STATE, 0},
        {NS_PROPERTY_RANGE_OFFSET, 0},
        {NS_PROPERTY_FRAME_INFO, sizeof(NsFrame)},
        {NS_PROPERTY_TAL_DELAY, 0},
        {NS_PROPERTY_HTP, 37},
        {NS_PROPERTY_OFFSET, 100},
        {NS_PROPERTY_MEASURING_RANGE, 19},
        {NS_PROPERTY_CAMERA_PARAMETERS, 76},
        {NS_PROPERTY_DATA_MODE, 1},
        {NS_PROPERTY_LD_ENABLE, 2},
        {NS_PROPERTY_ISA_ENABLE, 1},
        {NS_PROPERTY_TAL_ENABLE, 2},
        {NS_PROPERTY_PCBA, 0},
        {NS_PROPERTY_WORK_MODE, 5},
        {NS_PROPERTY_IRS2, 2},
        {NS_PROPERTY_GMM_GAIN, 3},
        {NS_PROPERTY_GMM, 24},
        {NS_PROPERTY_ACC_SENSITIVITY, 36},
        {NS_PROPERTY_GYRO_SENSITIVITY, 36},
        {NS_PROPERTY_IMU_DATA_MODE, 4},
        {NS_PROPERTY_PULSE_TIME, 4},
        {NS_PROPERTY_LENS, 8},
        {NS_PROPERTY_PULSE_COUNT_RECORD, 20},
        {NS_PROPERTY_ACC_OFFSET, 15},
        {NS_PROPERTY_GYRO_OFFSET, 15},
        {NS_PROPERTY_ACC_OFFSET_TEMP, 11},
        {NS_PROPERTY_GYRO_OFFSET_TEMP, 11},
        {NS_PROPERTY_FLASH_TYPE, 0},
        {NS_PROPERTY_MEASURING_STATUS, 10},
        {0, 0},
        {0x12345678, 4},
    };
    const Property& p = kProperties[Roll(std::size(kProperties))];
    uint32_t size = Size(p.size != 0 ? p.size : 32);
    if (p.id == NS_PROPERTY_JSON_CONFIG_MODE && size == sizeof(NsUpgradeStatusCallback)) {
        ++size;  // random bytes of a callback's size would be called as the JSON callback
    }
    // The buffer always holds what the size says: the library may use all of it.
    std::vector<uint8_t> data(std::max<uint32_t>(size, 1));
    for (uint8_t& b : data) {
        b = static_cast<uint8_t>(m_random());
    }
    // Keep the settings a camera takes through properties in range now and then, so that
    // sets get through to the camera too.
    if (data.size() >= 2 && Chance(50)) {
        data[0] = static_cast<uint8_t>(Roll(3));
        data[1] = 0;
    }
    // Data mode and work-mode writes wait up to their confirmation limits.
    const int64_t bound = kDataMode;
    if (Chance(50)) {
        uint32_t inOut = size;
        OnHandle("Ns2_GetProperty", bound, h, [&] {
            return Ns2_GetProperty(h, s, p.id, Chance(5) ? nullptr : data.data(),
                                   Chance(5) ? nullptr : &inOut);
        });
        if (inOut > size) {
            g_findings.Fault("Ns2_GetProperty reported more bytes than the buffer holds, id " +
                             std::to_string(p.id));
        }
    } else {
        OnHandle("Ns2_SetProperty", bound, h, [&] {
            return Ns2_SetProperty(h, s, p.id, Chance(5) ? nullptr : data.data(), size);
        });
    }
}

void Worker::Conversions(NsDeviceHandle h, uint32_t s) {
    NsCameraParameters params{};
    params.fx = 500.0 + static_cast<double>(Roll(100));
    params.fy = params.fx;
    params.cx = static_cast<double>(Roll(640));
    params.cy = static_cast<double>(Roll(480));
    if (Chance(5)) {
        params.fx = 0.0;
    }
    const uint32_t count =
        Chance(50) ? static_cast<uint32_t>(Roll(8)) : static_cast<uint32_t>(Roll(20000));
    std::vector<NsVector3f> world(count + 1u);
    std::vector<NsDepthVector3> depth(count + 1u);
    for (uint32_t i = 0; i < count; ++i) {
        world[i] = NsVector3f{static_cast<float>(Roll(2000)) - 1000.0f,
                              static_cast<float>(Roll(2000)) - 1000.0f,
                              static_cast<float>(Roll(5000)) - 100.0f};
        depth[i] =
            NsDepthVector3{static_cast<int32_t>(Roll(700)) - 30,
                           static_cast<int32_t>(Roll(500)) - 10, static_cast<uint16_t>(m_random())};
    }
    const bool nulls = Chance(5);
    switch (Roll(5)) {
        case 0:
            Timed("Ns2_ConvertWorldToDepth", kLocal, [&] {
                return Ns2_ConvertWorldToDepth(h, s, nulls ? nullptr : world.data(), depth.data(),
                                               count, Chance(5) ? nullptr : &params);
            });
            break;
        case 1:
            Timed("Ns2_ConvertDepthToWorld", kLocal, [&] {
                return Ns2_ConvertDepthToWorld(h, s, depth.data(), nulls ? nullptr : world.data(),
                                               count, Chance(5) ? nullptr : &params);
            });
            break;
        case 2:
            Timed("NsConvertWorldToDepth", kLocal, [&] {
                return NsConvertWorldToDepth(0, world.data(), nulls ? nullptr : depth.data(), count,
                                             &params);
            });
            Timed("NsConvertDepthToWorld", kLocal, [&] {
                return NsConvertDepthToWorld(0, depth.data(), world.data(), count,
                                             nulls ? nullptr : &params);
            });
            break;
        case 3: {
            // A frame of the test's own, of a random size, its data possibly short.
            static constexpr uint16_t kSizes[][2] = {{640, 480}, {640, 360}, {320, 240},
                                                     {1, 1},     {0, 0},     {4000, 3000}};
            const auto& size = kSizes[Roll(std::size(kSizes))];
            const size_t pixels = static_cast<size_t>(size[0]) * size[1];
            std::vector<uint16_t> pixelsData(pixels + 1);
            for (size_t i = 0; i < pixels; i += 7) {
                pixelsData[i] = static_cast<uint16_t>(m_random());
            }
            NsFrame frame{};
            frame.frameType = DepthFrame;
            frame.width = size[0];
            frame.height = size[1];
            frame.pFrameData = Chance(5) ? nullptr : pixelsData.data();
            frame.dataLen = static_cast<uint32_t>(Chance(80) ? pixels * 2 : Roll(pixels * 2 + 1));
            std::vector<NsVector3f> out(pixels + 1);
            OnHandle("Ns2_ConvertDepthFrameToWorldVector", kLocal, h, [&] {
                return Ns2_ConvertDepthFrameToWorldVector(h, s, Chance(5) ? nullptr : &frame,
                                                          nulls ? nullptr : out.data());
            });
            break;
        }
        default: {
            NsDepthVector3 point{static_cast<int32_t>(Roll(700)), static_cast<int32_t>(Roll(500)),
                                 static_cast<uint16_t>(Roll(5000))};
            NsColorResolution resolution{static_cast<uint16_t>(Roll(2000)),
                                         static_cast<uint16_t>(Roll(1200))};
            NsColorPoint colour{};
            OnHandle("Ns2_GetMappedPointDepthToRGB", kLocal, h, [&] {
                return Ns2_GetMappedPointDepthToRGB(h, s, point, resolution,
                                                    nulls ? nullptr : &colour);
            });
            break;
        }
    }
}

void Worker::Library() {
    switch (Roll(6)) {
        case 0: {
            uint32_t count = 0;
            Timed("Ns2_GetDeviceCount", kLocal,
                  [&] { return Ns2_GetDeviceCount(Chance(10) ? nullptr : &count); });
            break;
        }
        case 1: {
            // Oversize counts, with a list that holds them.
            const uint32_t count = static_cast<uint32_t>(Chance(50) ? Roll(5) : Roll(2000));
            std::vector<NsDeviceInfo> list(count + 1u);
            Timed("Ns2_GetDeviceListInfo", kLocal,
                  [&] { return Ns2_GetDeviceListInfo(Chance(10) ? nullptr : list.data(), count); });
            break;
        }
        case 2: {
            NsDeviceInfo record{};
            const uint32_t index =
                Chance(70) ? static_cast<uint32_t>(Roll(5)) : static_cast<uint32_t>(m_random());
            Timed("Ns2_GetDeviceInfo", kLocal,
                  [&] { return Ns2_GetDeviceInfo(Chance(10) ? nullptr : &record, index); });
            break;
        }
        case 3:
            Timed("Ns2_SetHotPlugStatusCallback", kLocal,
                  [&] { return Ns2_SetHotPlugStatusCallback(Chance(50) ? nullptr : OnHotPlug); });
            break;
        case 4:
            Timed("Ns2_SetHotPlugStatusCallback_", kLocal, [&] {
                return Ns2_SetHotPlugStatusCallback_(Chance(50) ? nullptr : OnHotPlugEx,
                                                     &g_hotPlugEvents);
            });
            break;
        default: {
            NsDiscoveryState state{};
            Timed("Ns2_GetDiscoveryState", kLocal, [&] { return Ns2_GetDiscoveryState(&state); });
            const NsReturnStatus any = static_cast<NsReturnStatus>(m_random());
            if (Ns2_GetStatusName(any) == nullptr || Ns2_GetStatusText(any) == nullptr) {
                g_findings.Fault("a status name or text is null");
            }
            break;
        }
    }
}

// ---- the process's threads -------------------------------------------------------------

std::vector<std::string> ThreadNames() {
    std::vector<std::string> names;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::string comm = std::string("/proc/self/task/") + entry->d_name + "/comm";
        char name[64] = {};
        if (FILE* f = std::fopen(comm.c_str(), "r")) {
            if (std::fgets(name, sizeof name, f) == nullptr) {
                name[0] = '\0';
            }
            std::fclose(f);
        }
        std::string n(name);
        if (!n.empty() && n.back() == '\n') {
            n.pop_back();
        }
        names.push_back(n + "(" + entry->d_name + ")");
    }
    closedir(dir);
    return names;
}

// ---- the test ----------------------------------------------------------------------------

class MisuseStress : public ::testing::Test {
protected:
    void SetUp() override { log::SetDataHomeForTesting(m_home.Path()); }
    void TearDown() override {
        for (auto& camera : m_sims) {
            camera->Stop();
        }
        log::SetDataHomeForTesting("");
    }

    test::TempDir m_home;
    std::vector<std::unique_ptr<sim::SimCamera>> m_sims;
};

TEST_F(MisuseStress, ThreadsMisuseTheInterfaceAtRandom) {
    const uint64_t seed = EnvNumber("QUORIX_STRESS_SEED", std::random_device{}());
    const uint64_t seconds = EnvNumber("QUORIX_STRESS_SECONDS", 15);
    std::printf("QUORIX_STRESS_SEED=%" PRIu64 " QUORIX_STRESS_SECONDS=%" PRIu64 "\n", seed,
                seconds);
    RecordProperty("seed", std::to_string(seed));

    std::vector<Camera> cameras;
    for (int i = 0; i < kCameras; ++i) {
        sim::SimConfig config;
        config.address = "127.0.97." + std::to_string(2 + i);
        config.serial = "QX-STRESS-" + std::to_string(i + 1);
        config.sessions = i == 0 ? kMaxSessionsPerCamera : 1;
        m_sims.push_back(std::make_unique<sim::SimCamera>(config));
        const std::string alias = "stress-" + std::to_string(i + 1);
        m_sims.back()->UpdateState([&](sim::SimState& s) {
            s.announce.tof = static_cast<uint8_t>(config.sessions);
            s.alias = alias;
            for (uint32_t k = 0; k < config.sessions; ++k) {
                s.sensors[k].dataMode = static_cast<uint8_t>(i == 1 ? 0 : 2);
            }
        });
        if (m_sims.back()->Start() != 0) {
            GTEST_SKIP() << "cannot take " << config.address << " or UDP 9007 for the simulator";
        }
        cameras.push_back(Camera{"TK5P:" + config.serial, alias, config.sessions});
    }

    // The simulators' threads are running now; everything above this count is the
    // library's (or the test's own, which are joined before the second count).
    const std::vector<std::string> before = ThreadNames();
    ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    for (const Camera& c : cameras) {
        ASSERT_TRUE(test::WaitFor([&] { return test::IsListed(c.uri); }, 20s)) << c.uri;
    }

    g_callbacksAct.store(true);
    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<Progress>> progress;
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<Worker>> workers;
    for (int i = 0; i < kWorkers; ++i) {
        progress.push_back(std::make_unique<Progress>());
        workers.push_back(std::make_unique<Worker>(seed + static_cast<uint64_t>(i), cameras));
    }
    for (int i = 0; i < kWorkers; ++i) {
        threads.emplace_back([&, i] { workers[i]->Run(stop, *progress[i]); });
    }

    // Hammer for the time asked, then wait for every worker to leave its call. A call
    // that does not come back within a minute is a hang: name it and stop the process.
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        // A released camera is listed again when it is heard: keep that quick, so that the
        // cameras are open (and streaming) most of the time.
        for (auto& camera : m_sims) {
            camera->AnnounceNow();
        }
        std::this_thread::sleep_for(100ms);
    }
    stop.store(true);
    const auto hangLimit = Clock::now() + 60s;
    bool allOut = false;
    while (!allOut) {
        allOut = true;
        for (const auto& p : progress) {
            const char* name = p->name.load();
            if (name == nullptr) {
                continue;
            }
            allOut = false;
            if (Clock::now() > hangLimit) {
                std::fprintf(stderr,
                             "FAULT: %s has not returned after %" PRId64 " ms (seed %" PRIu64 ")\n",
                             name, (NowNs() - p->startNs.load()) / 1000000, seed);
                std::fflush(stderr);
                if (EnvNumber("QUORIX_STRESS_BACKTRACE", 0) != 0) {  // every thread's stack
                    const std::string gdb = "gdb -p " + std::to_string(getpid()) +
                                            " -batch -ex 'thread apply all bt 30' 1>&2";
                    (void)std::system(gdb.c_str());
                }
                std::abort();
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    for (std::thread& t : threads) {
        t.join();
    }

    // Frame callbacks stop calling into the library before the shutdown: nothing may run
    // concurrently with it.
    g_callbacksAct.store(false);
    ASSERT_TRUE(test::WaitFor([] { return g_callbacksInside.load() == 0; }, 30s));

    const size_t stillOpen = g_pool.OpenHandles().size();
    const auto shutdownStart = Clock::now();
    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
    const int64_t shutdownMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - shutdownStart).count();
    g_findings.Record("Ns2_Shutdown", 5000, shutdownMs, NsStatusOk);

    // Threads the library started end with the shutdown (a detached thread may need a moment
    // to be gone from the task list).
    std::vector<std::string> after;
    test::WaitFor(
        [&] {
            after = ThreadNames();
            return after.size() <= before.size();
        },
        20s);
    if (after.size() > before.size()) {
        std::string left;
        for (const std::string& name : after) {
            if (std::find(before.begin(), before.end(), name) == before.end()) {
                left += " " + name;
            }
        }
        g_findings.Fault("threads left after Ns2_Shutdown:" + left);
    }

    std::printf("frame sets to callbacks: %" PRIu64 ", hot-plug events: %" PRIu64
                ", devices open at shutdown: %zu, shutdown: %" PRId64 " ms\n",
                g_framesSeen.load(), g_hotPlugEvents.load(), stillOpen, shutdownMs);
    g_findings.Print();
    const std::set<std::string> faults = g_findings.Faults();
    for (const std::string& fault : faults) {
        ADD_FAILURE() << fault << " (QUORIX_STRESS_SEED=" << seed << ")";
    }
}

// A camera that answers nothing takes seconds to open (each exchange waits for its reply).
// Meanwhile calls on another camera's handle went on at once; they used to wait for the
// whole open, which held the device list's lock while it talked to the camera.
TEST(MisuseRegression, SlowOpenDoesNotHoldUpCallsOnOtherDevices) {
    test::TempDir home;
    log::SetDataHomeForTesting(home.Path());
    std::vector<std::unique_ptr<sim::SimCamera>> cameras;
    for (const char* address : {"127.0.97.11", "127.0.97.12"}) {
        sim::SimConfig config;
        config.address = address;
        config.serial = std::string("QX-SLOW-") + address[9] + address[10];
        config.sessions = 2;  // the open asks each session in turn
        cameras.push_back(std::make_unique<sim::SimCamera>(config));
        cameras.back()->UpdateState([](sim::SimState& s) { s.announce.tof = 2; });
        if (cameras.back()->Start() != 0) {
            GTEST_SKIP() << "cannot take " << address << " or UDP 9007 for the simulator";
        }
    }
    const std::string quick = "TK5P:" + cameras[0]->Config().serial;
    const std::string silent = "TK5P:" + cameras[1]->Config().serial;
    ASSERT_EQ(Ns2_Initialize(), NsStatusOk);
    ASSERT_TRUE(
        test::WaitFor([&] { return test::IsListed(quick) && test::IsListed(silent); }, 20s));
    NsDeviceHandle h = nullptr;
    ASSERT_EQ(Ns2_OpenDevice(quick.c_str(), &h), NsStatusOk);

    sim::FaultPlan plan;
    plan.mode = sim::Misbehaviour::kSilent;
    cameras[1]->SetFault(plan);
    std::thread opener([&] {
        NsDeviceHandle other = nullptr;
        if (Ns2_OpenDevice(silent.c_str(), &other) == NsStatusOk) {
            Ns2_CloseDevice(&other);
        }
    });
    // The open asks the first session and waits for the reply (2 s) before it asks the
    // second: the calls on the other camera are done before that second request.
    ASSERT_TRUE(test::WaitFor([&] { return cameras[1]->Requests().Total() > 0; }, 20s));
    NsFrameMode mode{};
    EXPECT_EQ(Ns2_GetFrameMode(h, 0, DepthFrame, &mode), NsStatusOk);
    uint32_t count = 0;
    EXPECT_EQ(Ns2_GetDeviceCount(&count), NsStatusOk);
    EXPECT_EQ(cameras[1]->Requests().Total(), 1u)
        << "the calls waited for the open of another camera";
    opener.join();
    EXPECT_EQ(Ns2_CloseDevice(&h), NsStatusOk);
    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
    for (auto& camera : cameras) {
        camera->Stop();
    }
    log::SetDataHomeForTesting("");
}

}  // namespace
}  // namespace quorix
