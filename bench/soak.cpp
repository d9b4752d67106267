// soak: K simulated cameras, each a quorix-camsim process of its own that misbehaves at
// random (sim/FaultInjector.h), and now and then one of them killed and started again on
// the same address; meanwhile an application streams from all of them through the C
// interface, reopens the ones that went away and changes settings. At the end it prints
// what it saw: sets delivered and lost per camera, depth frames that did not match the
// scene (there must be none), calls that overran their documented wait (none), restarted
// cameras that streamed again (all), and the process's resident memory, threads and open
// descriptors over the run (flat). The exit status is 1 when any of these fails.
//
//   soak [--minutes M] [--cameras K] [--fault-ms MS] [--restart-s S] [--seed N]
#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CamsimProcess.h"
#include "E2eStats.h"
#include "camsim/CamsimOptions.h"
#include "imaging/DepthDecodeTable.h"
#include "quorix/quorix_api.h"
#include "sim/Scene.h"
#include "sim/SimState.h"

namespace quorix::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Documented waits of the calls the application makes, in milliseconds.
constexpr int64_t kExchange = 2005;               // one command and its reply
constexpr int64_t kConfirmed = kExchange + 3000;  // a set and its confirmation poll
constexpr int64_t kClose = 3000 + 2 * 1155;       // drain, then the joins of its threads
constexpr int64_t kOpen = 5000 + 4 * kExchange;   // connect, then the identity exchanges
constexpr int64_t kStart = 8 * kExchange;         // the first start reads the calibration
constexpr int64_t kRead = 350;                    // Ns2_ReadNextFrame's default wait
constexpr int64_t kLocal = 0;

// What a call may take on a loaded machine before it counts as an overrun: the documented
// wait, half of it again, and two seconds for the scheduler (sanitizer builds are slow).
int64_t Allowance(int64_t bound) {
    return bound + bound / 2 + 2000;
}

struct Options {
    double minutes = 1.0;
    uint32_t cameras = 4;
    uint32_t faultMs = 3000;
    double restartSeconds = 45.0;
    double reopenSeconds = 0;  // besides: close and reopen each camera this often
    uint64_t seed = 0;
    uint32_t fps = 10;
    std::string firstAddress = "127.0.101.2";
    std::string camsim;
};

struct Overrun {
    std::string call;
    int64_t ms = 0;
    int64_t allowed = 0;
};

// Everything one camera's worker counts; guarded by the worker's lock.
struct CameraCounts {
    uint64_t sets = 0;          // sets with a depth frame
    uint64_t lost = 0;          // captures skipped between two delivered (frame stamps)
    uint64_t corrupt = 0;       // depth frames that differ from the scene
    uint64_t readFailures = 0;  // reads that gave no set
    uint64_t opens = 0;
    uint64_t reopens = 0;
    uint64_t settings = 0;        // settings changed
    uint64_t settingsFailed = 0;  // refused or unanswered (faults make many)
    uint64_t restarts = 0;        // times its process was killed and started again
    uint64_t restartsBack = 0;    // of those, ones after which a set arrived again
    uint64_t firstSets = 0;       // opens followed by a set, and their wait for it
    int64_t firstSetMaxMs = 0;
    uint64_t firstSetOver10s = 0;
    std::map<NsReturnStatus, uint64_t> statuses;
};

struct Sample {
    double seconds = 0;
    uint64_t rssKiB = 0;
    uint32_t threads = 0;
    uint32_t fds = 0;
};

uint32_t CountEntries(const char* folder) {
    uint32_t n = 0;
    if (DIR* d = opendir(folder)) {
        while (const dirent* e = readdir(d)) {
            n += e->d_name[0] != '.' ? 1 : 0;
        }
        closedir(d);
    }
    return n;
}

class Camera {
public:
    Camera(uint32_t index, const Options& options)
        : m_index(index),
          m_serial("SOAK-" + std::to_string(index + 1)),
          m_uri("TK5P:" + m_serial),
          m_address(camsim::NextAddress(options.firstAddress, index)),
          m_options(options),
          m_random(options.seed * 7919 + index),
          m_state(sim::MakeDefaultState(561, m_address, m_serial, 1)) {
        for (uint32_t r = 0; r < 9; ++r) {
            const sim::RangeLimits l = sim::LimitsOfRange(m_state.sensors[0], r);
            m_tables[r].resize(kDepthTableEntries);
            DepthLut lut;
            m_tableValid[r] =
                BuildDepthDecodeTable({l.depthMax, l.effectDepthMax, l.effectDepthMin, l.offset},
                                      m_tables[r].data(), &lut);
        }
    }

    const std::string& Serial() const { return m_serial; }
    const std::string& Address() const { return m_address; }

    bool StartProcess(std::string& error) {
        std::lock_guard guard(m_processLock);
        const uint64_t seed = m_options.seed * 1000 + m_index * 10 + m_counts.restarts;
        return m_process.Start(
            m_options.camsim,
            {"--address", m_address, "--model", "TK5P", "--serial", m_serial, "--fps",
             std::to_string(m_options.fps), "--faults", std::to_string(m_options.faultMs),
             "--fault-seed", std::to_string(seed)},
            error);
    }

    // Kills the camera's process without a word (as a power cut would) and starts it
    // again on the same address after a pause.
    bool Restart(std::chrono::milliseconds pause, std::string& error) {
        {
            std::lock_guard guard(m_processLock);
            Tally(m_process.Kill());
        }
        std::this_thread::sleep_for(pause);
        {
            std::lock_guard guard(m_lock);
            ++m_counts.restarts;
            m_restartPending = true;
        }
        return StartProcess(error);
    }

    void StopProcess() {
        std::lock_guard guard(m_processLock);
        Tally(m_process.Stop());
    }

    // Takes in the fault lines the camera's process printed so far.
    void CollectOutput() {
        std::lock_guard guard(m_processLock);
        Tally(m_process.TakeLines());
    }

    void Run(const std::atomic<bool>& stop) {
        auto nextSetting = Clock::now() + 2s;
        auto nextReopen = Clock::time_point::max();
        int failuresInARow = 0;
        while (!stop.load()) {
            if (m_handle == nullptr) {
                if (!Open()) {
                    std::this_thread::sleep_for(200ms);
                } else if (m_options.reopenSeconds > 0) {
                    nextReopen =
                        Clock::now() +
                        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            m_options.reopenSeconds * (0.5 + (m_random() % 1000) / 1000.0)));
                }
                continue;
            }
            if (Clock::now() >= nextReopen) {
                Close();  // the application's own close and reopen, camera still streaming
                nextReopen = Clock::time_point::max();
                continue;
            }
            uint32_t ready = 0;
            const NsReturnStatus read = Call(
                "Ns2_ReadNextFrame", kRead, [&] { return Ns2_ReadNextFrame(m_handle, 0, &ready); });
            if (read == NsStatusOk && (ready & NsFrameReadyDepth) != 0) {
                failuresInARow = 0;
                CheckDepth();
            } else if (read != NsStatusOk) {
                Count([&](CameraCounts& c) { ++c.readFailures; });
                ++failuresInARow;
            }
            // A camera that went away is closed and opened again once it is back; one that
            // stays silent for about five seconds of reads likewise.
            if (read == NsStatusBadHandle || read == NsStatusNotStreaming || failuresInARow > 15) {
                Close();
                failuresInARow = 0;
                continue;
            }
            if (Clock::now() >= nextSetting) {
                ChangeASetting();
                nextSetting = Clock::now() + std::chrono::milliseconds(1000 + m_random() % 3000);
            }
        }
        Close();
    }

    CameraCounts Counts() const {
        std::lock_guard guard(m_lock);
        return m_counts;
    }
    std::vector<Overrun> Overruns() const {
        std::lock_guard guard(m_lock);
        return m_overruns;
    }
    std::map<std::string, uint64_t> Faults() const {
        std::lock_guard guard(m_processLock);
        return m_faults;
    }

private:
    // Lines "camera S fault: NAME", one per fault injected.
    void Tally(const std::vector<std::string>& lines) {
        static const std::string kMark = " fault: ";
        for (const std::string& line : lines) {
            if (const size_t at = line.find(kMark); at != std::string::npos) {
                ++m_faults[line.substr(at + kMark.size())];
            }
        }
    }

    template <typename Change>
    void Count(Change change) {
        std::lock_guard guard(m_lock);
        change(m_counts);
    }

    template <typename Fn>
    NsReturnStatus Call(const char* name, int64_t bound, Fn fn) {
        const auto begin = Clock::now();
        const NsReturnStatus status = fn();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
        std::lock_guard guard(m_lock);
        ++m_counts.statuses[status];
        if (ms > Allowance(bound)) {
            m_overruns.push_back({name, ms, Allowance(bound)});
        }
        return status;
    }

    bool Open() {
        NsDeviceHandle handle = nullptr;
        if (Call("Ns2_OpenDevice", kOpen, [&] { return Ns2_OpenDevice(m_uri.c_str(), &handle); }) !=
            NsStatusOk) {
            return false;
        }
        m_handle = handle;
        Count([&](CameraCounts& c) {
            c.reopens += c.opens > 0 ? 1 : 0;
            ++c.opens;
        });
        if (Call("Ns2_StartStream", kStart, [&] { return Ns2_StartStream(m_handle, 0); }) !=
            NsStatusOk) {
            Close();
            return false;
        }
        m_lastStamp.reset();
        m_openedAt = Clock::now();
        m_awaitingFirstSet = true;
        return true;
    }

    void Close() {
        if (m_handle != nullptr) {
            Call("Ns2_CloseDevice", kClose, [&] { return Ns2_CloseDevice(&m_handle); });
            m_handle = nullptr;
        }
    }

    void CheckDepth() {
        NsFrame f{};
        if (Call("Ns2_GetFrame", kLocal,
                 [&] { return Ns2_GetFrame(m_handle, 0, DepthFrame, &f); }) != NsStatusOk) {
            return;
        }
        const auto* px = static_cast<const uint16_t*>(f.pFrameData);
        bool exact = f.depthRange < 9 && m_tableValid[f.depthRange] && px != nullptr &&
                     f.width == sim::kSceneWidth && f.height == sim::kSceneHeight;
        uint32_t stamp = 0;
        if (exact) {
            const std::vector<uint16_t>& table = m_tables[f.depthRange];
            stamp = sim::ReadFrameStamp(px, table[sim::kStampDepthOne]);
            std::vector<uint16_t> row(sim::kSceneWidth);
            for (uint32_t y = 0; y < f.height && exact; ++y) {
                sim::FillDepthRow(y, stamp, row.data());
                const uint16_t* got = px + static_cast<size_t>(y) * f.width;
                for (uint32_t x = 0; x < f.width; ++x) {
                    if (got[x] != table[row[x]]) {
                        exact = false;
                        break;
                    }
                }
            }
        }
        std::lock_guard guard(m_lock);
        ++m_counts.sets;
        if (!exact) {
            ++m_counts.corrupt;
            std::fprintf(
                stderr,
                "camera %s: depth frame (range %u, %ux%u, capture %u) differs from the scene\n",
                m_serial.c_str(), f.depthRange, f.width, f.height, stamp);
            return;
        }
        // Captures count from 0 at every stream start; a smaller stamp is a new stream.
        if (m_lastStamp && stamp > *m_lastStamp) {
            m_counts.lost += stamp - *m_lastStamp - 1;
        }
        m_lastStamp = stamp;
        if (m_awaitingFirstSet) {
            m_awaitingFirstSet = false;
            const int64_t ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_openedAt)
                    .count();
            ++m_counts.firstSets;
            m_counts.firstSetMaxMs = std::max(m_counts.firstSetMaxMs, ms);
            m_counts.firstSetOver10s += ms > 10000 ? 1 : 0;
        }
        if (m_restartPending) {
            m_restartPending = false;
            ++m_counts.restartsBack;
        }
    }

    void ChangeASetting() {
        NsReturnStatus status = NsStatusOk;
        switch (m_random() % 3) {
            case 0: {
                const auto range = static_cast<uint32_t>(m_random() % 3);
                status = Call("Ns2_SetDepthRange", kConfirmed,
                              [&] { return Ns2_SetDepthRange(m_handle, 0, range); });
                break;
            }
            case 1: {
                const auto threshold = static_cast<uint16_t>(m_random() % 200);
                status = Call("Ns2_SetThreshold", kConfirmed,
                              [&] { return Ns2_SetThreshold(m_handle, 0, threshold); });
                break;
            }
            default: {
                const auto fps = static_cast<uint8_t>(std::max<uint32_t>(
                    1, m_options.fps - 2 + static_cast<uint32_t>(m_random() % 5)));
                status = Call("Ns2_SetTofFrameRate", kExchange,
                              [&] { return Ns2_SetTofFrameRate(m_handle, 0, fps); });
                break;
            }
        }
        Count([&](CameraCounts& c) {
            ++c.settings;
            c.settingsFailed += status != NsStatusOk ? 1 : 0;
        });
    }

    const uint32_t m_index;
    const std::string m_serial;
    const std::string m_uri;
    const std::string m_address;
    const Options& m_options;
    std::mt19937_64 m_random;
    const sim::SimState m_state;
    std::vector<uint16_t> m_tables[9];
    bool m_tableValid[9] = {};

    mutable std::mutex m_processLock;
    CamsimProcess m_process;
    std::map<std::string, uint64_t> m_faults;  // injected faults by name, over every process

    NsDeviceHandle m_handle = nullptr;  // the worker's own
    std::optional<uint32_t> m_lastStamp;
    Clock::time_point m_openedAt;
    bool m_awaitingFirstSet = false;

    mutable std::mutex m_lock;
    CameraCounts m_counts;
    std::vector<Overrun> m_overruns;
    bool m_restartPending = false;
};

// "name (tid)" of every thread of this process but the calling one.
std::string OtherThreads() {
    std::string names;
    const std::string self = std::to_string(gettid());
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d)) {
            if (e->d_name[0] == '.' || self == e->d_name) {
                continue;
            }
            std::string name;
            if (FILE* f = std::fopen(
                    (std::string("/proc/self/task/") + e->d_name + "/comm").c_str(), "r")) {
                char text[64] = {};
                if (std::fgets(text, sizeof text, f) != nullptr) {
                    name = text;
                    name.erase(name.find_last_not_of('\n') + 1);
                }
                std::fclose(f);
            }
            names += (names.empty() ? "" : ", ") + name + " (" + e->d_name + ")";
        }
        closedir(d);
    }
    return names;
}

Sample TakeSample(Clock::time_point start) {
    Sample s;
    s.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    s.rssKiB = ReadOwnRssKiB();
    s.threads = CountEntries("/proc/self/task");
    s.fds = CountEntries("/proc/self/fd");
    return s;
}

// Flat: the last quarter of the run holds no more than the second quarter plus a margin
// (the first quarter is the warm-up: pools and threads come up there).
template <typename Get>
bool Flat(const std::vector<Sample>& samples, Get get, double margin, double& early, double& late) {
    const size_t n = samples.size();
    if (n < 8) {
        early = late = n > 0 ? static_cast<double>(get(samples.back())) : 0;
        return true;
    }
    double a = 0;
    double b = 0;
    size_t na = 0;
    size_t nb = 0;
    for (size_t i = n / 4; i < n / 2; ++i, ++na) {
        a = std::max(a, static_cast<double>(get(samples[i])));
    }
    for (size_t i = 3 * n / 4; i < n; ++i, ++nb) {
        b = std::max(b, static_cast<double>(get(samples[i])));
    }
    early = a;
    late = b;
    return na > 0 && nb > 0 && b <= a * (1.0 + margin) + 1;
}

int Soak(const Options& options) {
    std::printf(
        "soak: %u cameras from %s, %.1f min, a fault every %u ms per camera, a restart every %.0f "
        "s, seed %" PRIu64 "\n",
        options.cameras, options.firstAddress.c_str(), options.minutes, options.faultMs,
        options.restartSeconds, options.seed);
    // Threads of our own before the library starts. ThreadSanitizer's runtime starts a
    // thread of its own with the first thread created, so one is created first.
    std::thread([] {}).join();
    const uint32_t threadsBefore = CountEntries("/proc/self/task");
    const std::string threadsBeforeNames = OtherThreads();
    if (Ns2_Initialize() != NsStatusOk) {
        std::fprintf(stderr, "Ns2_Initialize failed\n");
        return 1;
    }
    NsDiscoveryState discovery{};
    if (Ns2_GetDiscoveryState(&discovery) == NsStatusOk && discovery.status == NsDiscoveryFailed) {
        std::fprintf(stderr, "discovery cannot listen: %s\n", discovery.message);
        Ns2_Shutdown();
        return 1;
    }

    std::vector<std::unique_ptr<Camera>> cameras;
    for (uint32_t k = 0; k < options.cameras; ++k) {
        cameras.push_back(std::make_unique<Camera>(k, options));
        std::string error;
        if (cameras.back()->Address().empty() || !cameras.back()->StartProcess(error)) {
            std::fprintf(stderr, "camera %u could not start on %s: %s\n", k + 1,
                         cameras.back()->Address().c_str(), error.c_str());
            Ns2_Shutdown();
            return 1;
        }
    }

    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double, std::ratio<60>>(options.minutes));
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (auto& camera : cameras) {
        workers.emplace_back([&stop, c = camera.get()] { c->Run(stop); });
    }

    std::vector<Sample> samples;
    std::mt19937_64 random(options.seed);
    std::exponential_distribution<double> restartGap(1.0 / std::max(options.restartSeconds, 1.0));
    auto nextRestart = start + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(restartGap(random)));
    auto nextSample = start;
    auto nextProgress = start + 30s;
    int failedRestarts = 0;
    while (Clock::now() < end) {
        const auto now = Clock::now();
        for (auto& c : cameras) {
            c->CollectOutput();  // keeps the pipes from filling
        }
        if (now >= nextSample) {
            samples.push_back(TakeSample(start));
            nextSample += 5s;
        }
        if (options.restartSeconds > 0 && now >= nextRestart) {
            Camera& c = *cameras[random() % cameras.size()];
            std::string error;
            if (!c.Restart(std::chrono::milliseconds(500 + random() % 2500), error)) {
                std::fprintf(stderr, "camera %s did not start again: %s\n", c.Serial().c_str(),
                             error.c_str());
                ++failedRestarts;
            }
            nextRestart = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(restartGap(random)));
        }
        if (now >= nextProgress) {
            uint64_t sets = 0;
            for (auto& c : cameras) {
                sets += c->Counts().sets;
            }
            const Sample& s = samples.back();
            std::printf("  %4.0f s: %" PRIu64 " sets, rss %" PRIu64 " KiB, %u threads, %u fds\n",
                        s.seconds, sets, s.rssKiB, s.threads, s.fds);
            std::fflush(stdout);
            nextProgress += 30s;
        }
        std::this_thread::sleep_for(100ms);
    }
    stop = true;
    for (std::thread& t : workers) {
        t.join();
    }
    const auto shutdownBegin = Clock::now();
    Ns2_Shutdown();
    const auto shutdownMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - shutdownBegin).count();
    const uint32_t threadsLeft = CountEntries("/proc/self/task");

    // The table.
    bool ok = failedRestarts == 0;
    std::printf("\n%-8s %8s %7s %8s %9s %7s %9s %9s %9s\n", "camera", "sets", "lost", "corrupt",
                "read-fail", "reopen", "settings", "restarts", "came-back");
    std::vector<Overrun> overruns;
    for (auto& c : cameras) {
        const CameraCounts n = c->Counts();
        std::printf("%-8s %8" PRIu64 " %7" PRIu64 " %8" PRIu64 " %9" PRIu64 " %7" PRIu64
                    " %4" PRIu64 "/%-4" PRIu64 " %9" PRIu64 " %9" PRIu64 "\n",
                    c->Serial().c_str(), n.sets, n.lost, n.corrupt, n.readFailures, n.reopens,
                    n.settings - n.settingsFailed, n.settings, n.restarts, n.restartsBack);
        // The last restart of a camera may be too close to the end to come back.
        ok = ok && n.corrupt == 0 && n.sets > 0 && n.restartsBack + 1 >= n.restarts;
        for (const Overrun& o : c->Overruns()) {
            overruns.push_back(o);
        }
    }
    std::printf("(settings: accepted/tried; lost: captures between two delivered sets)\n");
    uint64_t firstSets = 0;
    uint64_t slowFirstSets = 0;
    int64_t firstSetMaxMs = 0;
    for (auto& c : cameras) {
        const CameraCounts n = c->Counts();
        firstSets += n.firstSets;
        slowFirstSets += n.firstSetOver10s;
        firstSetMaxMs = std::max(firstSetMaxMs, n.firstSetMaxMs);
    }
    std::printf("first set after an open: %" PRIu64 " opens, longest wait %" PRId64 " ms, %" PRIu64
                " waited over 10 s\n",
                firstSets, firstSetMaxMs, slowFirstSets);
    std::printf("\nstatuses:");
    std::map<NsReturnStatus, uint64_t> statuses;
    for (auto& c : cameras) {
        for (const auto& [s, n] : c->Counts().statuses) {
            statuses[s] += n;
        }
    }
    for (const auto& [s, n] : statuses) {
        std::printf(" %s %" PRIu64, Ns2_GetStatusName(s), n);
    }
    std::printf("\ncalls beyond their bound: %zu\n", overruns.size());
    for (size_t i = 0; i < overruns.size() && i < 20; ++i) {
        std::printf("  %s took %" PRId64 " ms (allowed %" PRId64 ")\n", overruns[i].call.c_str(),
                    overruns[i].ms, overruns[i].allowed);
    }
    ok = ok && overruns.empty();

    double early = 0;
    double late = 0;
    const bool rssFlat = Flat(
        samples, [](const Sample& s) { return s.rssKiB; }, 0.10, early, late);
    std::printf("resident memory: %.0f KiB (second quarter, peak) -> %.0f KiB (last quarter)%s\n",
                early, late, rssFlat ? "" : "  GROWING");
    const bool threadsFlat = Flat(
        samples, [](const Sample& s) { return s.threads; }, 0.0, early, late);
    std::printf("threads:         %.0f -> %.0f%s\n", early, late, threadsFlat ? "" : "  GROWING");
    const bool fdsFlat = Flat(
        samples, [](const Sample& s) { return s.fds; }, 0.0, early, late);
    std::printf("descriptors:     %.0f -> %.0f%s\n", early, late, fdsFlat ? "" : "  GROWING");
    std::printf("Ns2_Shutdown: %" PRId64 " ms, %u thread(s) left (%u before Ns2_Initialize)\n",
                shutdownMs, threadsLeft, threadsBefore);
    if (threadsLeft != threadsBefore) {
        std::printf("  threads before: [%s], after: [%s]\n", threadsBeforeNames.c_str(),
                    OtherThreads().c_str());
    }
    ok = ok && rssFlat && threadsFlat && fdsFlat && threadsLeft == threadsBefore &&
         shutdownMs < 5000;

    std::map<std::string, uint64_t> faults;
    for (auto& c : cameras) {
        c->StopProcess();
        for (const auto& [name, n] : c->Faults()) {
            faults[name] += n;
        }
    }
    uint64_t restarts = 0;
    for (auto& c : cameras) {
        restarts += c->Counts().restarts;
    }
    std::printf("\nfaults injected (all cameras):");
    for (const auto& [name, n] : faults) {
        std::printf(" %s %" PRIu64, name.c_str(), n);
    }
    std::printf(" process-killed %" PRIu64 "\n", restarts);
    std::printf("\n%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace quorix::bench

int main(int argc, char** argv) {
    using namespace quorix::bench;
    Options options;
    options.camsim = OwnFolder() + "/../tools/quorix-camsim";
    CLI::App app{
        "Streams from simulated cameras that misbehave, restart and change, and checks what "
        "arrives."};
    app.add_option("--minutes", options.minutes, "how long to run")->check(CLI::PositiveNumber);
    app.add_option("--cameras", options.cameras, "simulated cameras, one process each")
        ->check(CLI::Range(1u, 32u));
    app.add_option("--fault-ms", options.faultMs,
                   "mean milliseconds between faults of a camera (0: none)");
    app.add_option("--reopen-s", options.reopenSeconds,
                   "mean seconds between two closes and reopens of a camera by the application "
                   "(0: only when it went away)");
    app.add_option("--restart-s", options.restartSeconds,
                   "mean seconds between two camera restarts (0: none)");
    app.add_option("--fps", options.fps, "frame rate of the cameras")->check(CLI::Range(1u, 60u));
    app.add_option("--seed", options.seed, "seed of every random draw (default: the time)");
    app.add_option("--address", options.firstAddress, "address of the first camera");
    app.add_option("--camsim", options.camsim, "the simulator program");
    CLI11_PARSE(app, argc, argv);
    if (options.seed == 0) {
        options.seed =
            static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) %
            1000000;
    }
    // A camera process that dies must not take the soak with it.
    std::signal(SIGPIPE, SIG_IGN);
    return Soak(options);
}
