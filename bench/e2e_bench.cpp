// e2e_bench: the end-to-end speed of a network camera over loopback. A simulated camera runs
// as its own process (quorix-camsim), so its frame building and MJPEG encoding are not
// counted, and streams VGA RAW12 depth and IR (0x23, data mode 2) with 1920x1080 MJPEG colour
// at 30 fps (other frame rates and colour sizes on request). This process reads the stream through
// the public C interface only, promptly, for
// --seconds. Before and after the stream it measures the bare decode of the same payloads with
// the internal decoders, to compare the pipeline's CPU per set with it; the two measurements
// also show whether the machine stayed equally busy.
//
// A plain program, not a Google Benchmark: the measurement is one long stream fed by a child
// process, not a loop of short repeatable iterations.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BareDecode.h"
#include "CamsimProcess.h"
#include "E2eStats.h"
#include "quorix/quorix_api.h"

namespace quorix::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kSetBits = NsFrameReadyDepth | NsFrameReadyIR | NsFrameReadyRGB;

struct Options {
    double seconds = 60;
    double warmup = 2;
    uint32_t fps = 30;
    std::string colourSize = "1920x1080";
    uint16_t colourWidth = 1920;
    uint16_t colourHeight = 1080;
    std::string address = "127.0.0.77";
    std::string serial = "QXBENCH";
    std::string camsim;  // default: ../tools/quorix-camsim beside this program
    bool spawn = true;
    std::string uri;  // default: TK5P:<serial>
    uint32_t decodeFrames = 100;
    bool map = false;  // colour onto depth and depth onto colour, as applications map
};

// True to run; false to end with `exit` (after --help, or a usage error already printed).
bool ParseOptions(int argc, char** argv, Options& o, int& exit) {
    CLI::App app{
        "End-to-end speed of a simulated network camera over loopback: frames, "
        "latency, CPU per frame set against the bare decode, resident memory."};
    app.add_option("--seconds", o.seconds, "measured streaming time")
        ->check(CLI::Range(1.0, 3600.0));
    app.add_option("--warmup", o.warmup, "streaming time before the measurement starts")
        ->check(CLI::Range(0.0, 60.0));
    app.add_option("--fps", o.fps, "the camera's frame rate")->check(CLI::Range(1u, 120u));
    app.add_option("--colour-size", o.colourSize, "the camera's MJPEG colour size")
        ->check(CLI::IsMember({"1920x1080", "1280x720", "640x480", "640x360"}));
    app.add_option("--address", o.address, "loopback address of the simulated camera");
    app.add_option("--serial", o.serial, "serial number of the simulated camera");
    app.add_option("--camsim", o.camsim, "the simulator program (default: beside this one)");
    app.add_flag("!--no-spawn", o.spawn,
                 "do not start the simulator; it runs already, started as: quorix-camsim "
                 "--address A --serial S --fps 30 --data-mode 2 --packing raw12 --colour mjpeg "
                 "--colour-size 1920x1080");
    app.add_option("--uri", o.uri, "URI or alias of the camera (default TK5P:<serial>)");
    app.add_flag("--map", o.map,
                 "turn on colour-on-depth and depth-on-colour mapping (compare the CPU per set "
                 "with a run without)");
    app.add_option("--decode-frames", o.decodeFrames, "rounds of each bare decode")
        ->check(CLI::Range(1u, 100000u));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        exit = app.exit(e);
        return false;
    }
    unsigned width = 0, height = 0;
    std::sscanf(o.colourSize.c_str(), "%ux%u", &width, &height);
    o.colourWidth = static_cast<uint16_t>(width);
    o.colourHeight = static_cast<uint16_t>(height);
    if (o.camsim.empty()) {
        o.camsim = OwnFolder() + "/../tools/quorix-camsim";
    }
    if (o.uri.empty()) {
        o.uri = "TK5P:" + o.serial;
    }
    return true;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    double a = 0, b = 0, c = 0;
    file >> a >> b >> c;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", a, b, c);
    return text;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

bool WaitForDevice(const std::string& uri, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        uint32_t count = 0;
        if (Ns2_GetDeviceCount(&count) == NsStatusOk && count != 0) {
            std::vector<NsDeviceInfo> list(count);
            if (Ns2_GetDeviceListInfo(list.data(), count) == NsStatusOk) {
                for (const NsDeviceInfo& d : list) {
                    if (uri == d.uri || uri == d.alias) {
                        return true;
                    }
                }
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// What the read loop saw.
struct StreamResult {
    double startStreamMs = 0;
    double firstSetS = -1;         // from the start of the stream to the first whole set
    double firstFullColourS = -1;  // ... to the first colour frame of the camera's size
    double windowS = 0;
    IndexTracker all;          // whole sets over the whole stream
    IndexTracker window;       // whole sets in the measured window
    uint64_t partialSets = 0;  // reads in the window that missed a kind or mixed indices
    uint64_t fullColour = 0;   // window sets whose colour has the camera's size
    uint64_t otherColour = 0;
    uint16_t otherWidth = 0;
    uint16_t otherHeight = 0;
    uint64_t timeouts = 0;
    uint64_t failures = 0;
    int32_t lastFailure = 0;
    std::vector<double> latencies;  // ms, one per window set (its oldest frame)
    uint64_t unstamped = 0;
    double cpuSeconds = 0;                    // of this process, in the window
    double machineBusySeconds = 0;            // of every process, in the window
    double camsimSeconds = 0;                 // of the camera process, in the window
    std::map<std::string, double> threadCpu;  // by thread name, in the window
    RssSeries rss;
    long maxRssKiB = 0;
    NsFrameMode colourMode{};  // as Ns2_GetFrameMode reports it at the end
};

std::map<std::string, double> ThreadCpuSince(const std::map<int, ProcCpu>& before) {
    std::map<std::string, double> byName;
    for (const auto& [tid, now] : ReadOwnThreadsCpu()) {
        const auto was = before.find(tid);
        byName[now.name] += now.seconds - (was != before.end() ? was->second.seconds : 0.0);
    }
    return byName;
}

// Reads the stream for warm-up plus the measured time, as promptly as the library allows.
void ReadStream(NsDeviceHandle h, const Options& o, const CamsimProcess& camsim,
                Clock::time_point started, StreamResult& r) {
    const auto windowStart = started + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(o.warmup));
    const auto windowLength =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    bool inWindow = false;
    Clock::time_point windowBegan{};
    Clock::time_point nextRss{};
    double cpuAtStart = 0;
    double machineAtStart = 0;
    double camsimAtStart = 0;
    std::map<int, ProcCpu> threadsAtStart;
    NsFrame frames[3];
    const uint32_t types[3] = {DepthFrame, IRFrame, RGBFrame};

    while (true) {
        const Clock::time_point now = Clock::now();
        if (!inWindow && now >= windowStart) {
            inWindow = true;
            windowBegan = now;
            nextRss = now;
            cpuAtStart = ProcessCpuSeconds();
            machineAtStart = ReadMachineBusySeconds();
            camsimAtStart = camsim.CpuSeconds();
            threadsAtStart = ReadOwnThreadsCpu();
        }
        if (inWindow && now - windowBegan >= windowLength) {
            r.windowS = Seconds(now - windowBegan);
            r.cpuSeconds = ProcessCpuSeconds() - cpuAtStart;
            r.machineBusySeconds = ReadMachineBusySeconds() - machineAtStart;
            r.camsimSeconds = camsim.Running() ? camsim.CpuSeconds() - camsimAtStart : 0;
            r.threadCpu = ThreadCpuSince(threadsAtStart);
            r.rss.Add(ReadOwnRssKiB());
            return;
        }
        if (inWindow && now >= nextRss) {
            r.rss.Add(ReadOwnRssKiB());
            nextRss += 1s;
        }

        uint32_t ready = 0;
        const NsReturnStatus ret = Ns2_ReadNextFrame(h, 0, &ready);
        const double returnedMs = LocalMsOfDayNow();
        const Clock::time_point returned = Clock::now();
        if (ret == NsStatusFrameTimeout) {
            r.timeouts += inWindow ? 1 : 0;
            continue;
        }
        if (ret != NsStatusOk) {
            r.failures += inWindow ? 1 : 0;
            r.lastFailure = ret;
            std::this_thread::sleep_for(10ms);
            continue;
        }
        bool whole = (ready & kSetBits) == kSetBits;
        std::optional<double> latency;
        for (int k = 0; k < 3 && whole; ++k) {
            whole = Ns2_GetFrame(h, 0, types[k], &frames[k]) == NsStatusOk;
            if (whole) {
                const auto l = StampLatencyMs(frames[k].timestamp, returnedMs);
                if (l && (!latency || *l > *latency)) {
                    latency = l;
                }
            }
        }
        whole = whole && frames[0].frameIndex == frames[1].frameIndex &&
                frames[0].frameIndex == frames[2].frameIndex;
        if (!whole) {
            r.partialSets += inWindow ? 1 : 0;
            continue;
        }
        const NsFrame& colour = frames[2];
        const bool full = colour.width == o.colourWidth && colour.height == o.colourHeight;
        if (r.firstSetS < 0) {
            r.firstSetS = Seconds(returned - started);
        }
        if (full && r.firstFullColourS < 0) {
            r.firstFullColourS = Seconds(returned - started);
        }
        r.all.Add(frames[0].frameIndex);
        if (!inWindow) {
            continue;
        }
        r.window.Add(frames[0].frameIndex);
        if (full) {
            ++r.fullColour;
        } else {
            ++r.otherColour;
            r.otherWidth = colour.width;
            r.otherHeight = colour.height;
        }
        if (latency) {
            r.latencies.push_back(*latency);
        } else {
            ++r.unstamped;
        }
    }
}

// One row of the table: what, the value, and the goal with its verdict where there is one.
void Row(const char* what, const char* goal, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Row(const char* what, const char* goal, const char* format, ...) {
    char value[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(value, sizeof value, format, args);
    va_end(args);
    std::printf("  %-42s %-36s %s\n", what, value, goal);
}

unsigned long long U(uint64_t value) {
    return value;
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

struct SimSide {
    bool known = false;
    SimCounts counts;
    double cpuSeconds = -1;
};

// The mean of the two bare measurements.
BareCosts Mean(const BareCosts& a, const BareCosts& b) {
    BareCosts m = a;
    m.tjDecompressMs = (a.tjDecompressMs + b.tjDecompressMs) / 2;
    m.tofDecodeMs = (a.tofDecodeMs + b.tofDecodeMs) / 2;
    m.rgbDecodeMs = (a.rgbDecodeMs + b.rgbDecodeMs) / 2;
    m.poolReturnMs = (a.poolReturnMs + b.poolReturnMs) / 2;
    m.deliveryCopyMs = (a.deliveryCopyMs + b.deliveryCopyMs) / 2;
    return m;
}

void PrintTable(const Options& o, StreamResult& r, const SimSide& sim, const BareCosts* before,
                const BareCosts* after, const std::string& loadBefore,
                const std::string& loadAfter) {
    std::printf("\nend-to-end: %s, %u fps, RAW12 depth+IR (0x23, data mode 2), MJPEG %ux%u\n",
                o.uri.c_str(), o.fps, o.colourWidth, o.colourHeight);
    std::printf("load average before %s, after %s; %u CPUs\n\n", loadBefore.c_str(),
                loadAfter.c_str(), std::thread::hardware_concurrency());
    std::printf("  %-42s %-36s %s\n", "measure", "value", "goal");
    const uint64_t sets = r.window.Delivered();
    const double perSecond = r.windowS > 0 ? sets / r.windowS : 0;
    Row("Ns2_StartStream", "", "%.0f ms", r.startStreamMs);
    Row("first whole set / first full-size colour", "", "%.2f s / %.2f s after start", r.firstSetS,
        r.firstFullColourS);
    Row("measured window", "", "%.1f s after %.1f s warm-up", r.windowS, o.warmup);
    const double others = r.machineBusySeconds - r.cpuSeconds - r.camsimSeconds;
    Row(sim.known ? "other processes' CPU in the window"
                  : "other processes' CPU in the window (camera too)",
        "quiet: near 0", "%.0f%% of one CPU",
        r.windowS > 0 ? std::max(others, 0.0) * 100 / r.windowS : 0);
    Row("sets delivered in window (D+IR+RGB)", "", "%llu (%.2f per s)", U(sets), perSecond);
    const uint64_t spanned = sets != 0 ? uint64_t{r.window.Last()} - r.window.First() + 1 : 0;
    Row("capture indices in window", "", "%u..%u: %llu captures", r.window.First(), r.window.Last(),
        U(spanned));
    Row("indices missing in window", "0", "%llu in %llu gaps%s", U(r.window.Missing()),
        U(r.window.GapPlaces()), r.window.Backwards() != 0 ? " (some went backwards)" : "");
    Row("partial sets / time-outs / failures", "0", "%llu / %llu / %llu", U(r.partialSets),
        U(r.timeouts), U(r.failures));
    Row("whole stream: sets delivered", "", "%llu, indices %u..%u, %llu missing",
        U(r.all.Delivered()), r.all.First(), r.all.Last(), U(r.all.Missing()));
    if (sim.known) {
        Row("camera: captures / sent / dropped", "", "%llu / %llu / %llu", U(sim.counts.captures),
            U(sim.counts.sent), U(sim.counts.dropped));
    } else {
        Row("camera: captures / sent / dropped", "", "unknown (camera not started here)");
    }
    if (r.otherColour == 0) {
        Row("colour frames at the camera's size", "all", "%llu of %llu", U(r.fullColour), U(sets));
    } else {
        Row("colour frames at the camera's size", "all", "%llu of %llu (others %ux%u)",
            U(r.fullColour), U(sets), r.otherWidth, r.otherHeight);
    }
    Row("colour frame mode (Ns2_GetFrameMode)", "", "%ux%u, pixel format %u",
        r.colourMode.resolutionWidth, r.colourMode.resolutionHeight, r.colourMode.pixelFormat);
    const size_t stamped = r.latencies.size();
    const double median = Percentile(r.latencies, 50);
    const double p99 = Percentile(r.latencies, 99);
    const double worst = Percentile(r.latencies, 100);
    char goal[64];
    std::snprintf(goal, sizeof goal, "median < 10 ms: %s", Verdict(stamped != 0 && median < 10));
    Row("latency receive -> ReadNextFrame median", goal, "%.2f ms (%zu sets)", median, stamped);
    Row("latency p99 / max", "", "%.2f ms / %.2f ms", p99, worst);

    const double cpuPerSetMs = sets != 0 ? r.cpuSeconds * 1e3 / sets : 0;
    Row("process CPU per set", "", "%.2f ms (%.0f%% of one CPU)", cpuPerSetMs,
        r.windowS > 0 ? r.cpuSeconds * 100 / r.windowS : 0);
    if (before != nullptr && after != nullptr) {
        const BareCosts mean = Mean(*before, *after);
        const BareCosts* bare = &mean;
        const double ratio = bare->BarePerSetMs() > 0 ? cpuPerSetMs / bare->BarePerSetMs() : 0;
        Row("bare decode per set", "", "%.2f ms = tj %.2f + ToF %.2f", bare->BarePerSetMs(),
            bare->tjDecompressMs, bare->tofDecodeMs);
        const double low = std::min(before->BarePerSetMs(), after->BarePerSetMs());
        const double high = std::max(before->BarePerSetMs(), after->BarePerSetMs());
        std::snprintf(goal, sizeof goal, "within 15%%: %s", Verdict(high <= low * 1.15));
        Row("  bare before / after the stream", goal, "%.2f ms / %.2f ms", before->BarePerSetMs(),
            after->BarePerSetMs());
        std::snprintf(goal, sizeof goal, "<= 1.25: %s", Verdict(ratio != 0 && ratio <= 1.25));
        Row("pipeline CPU / bare decode", goal, "%.2f", ratio);
        Row("  library colour decode (RgbDecode)", "", "%.2f ms", bare->rgbDecodeMs);
        Row("  pool return of one set (zeroing)", "", "%.2f ms", bare->poolReturnMs);
        Row("  one copy of a set's pixels (memcpy)", "", "%.2f ms", bare->deliveryCopyMs);
    }
    // The decoder threads' own CPU in the window does not depend on how fast the machine was
    // before and after it, so this ratio holds when the bare figures disagree; it is a lower
    // bound of the one above, as those threads do more than the bare decode.
    const auto thread = [&](const char* name) {
        const auto it = r.threadCpu.find(name);
        return it != r.threadCpu.end() ? it->second * 1e3 / std::max<uint64_t>(sets, 1) : 0.0;
    };
    const double decoders = thread("RgbDecode") + thread("TofDecode");
    if (decoders > 0) {
        Row("pipeline CPU / decoder threads' CPU", "", "%.2f (%.2f ms per set outside them)",
            cpuPerSetMs / decoders, cpuPerSetMs - decoders);
    }
    const auto self = ReadProcStat("/proc/self/stat");  // the main thread has its name
    for (const auto& [name, seconds] : r.threadCpu) {
        if (seconds * 1e3 / std::max<uint64_t>(sets, 1) < 0.01) {
            continue;
        }
        char what[64];
        std::snprintf(what, sizeof what, "  thread %s",
                      self && self->name == name ? "main (Ns2_ReadNextFrame)" : name.c_str());
        Row(what, "", "%.2f ms per set", seconds * 1e3 / std::max<uint64_t>(sets, 1));
    }
    if (sim.known && sim.cpuSeconds >= 0 && sim.counts.captures != 0) {
        Row("camera process CPU per capture (not counted)", "", "%.2f ms",
            sim.cpuSeconds * 1e3 / sim.counts.captures);
    }
    Row("peak resident memory (ru_maxrss)", "", "%.1f MiB", r.maxRssKiB / 1024.0);
    const double growth = (static_cast<double>(r.rss.Last()) - r.rss.First()) / 1024.0;
    std::snprintf(goal, sizeof goal, "flat: %s", Verdict(r.rss.Max() - r.rss.First() < 1024));
    Row("RSS first / last / max", goal, "%.1f / %.1f / %.1f MiB (%zu samples)",
        r.rss.First() / 1024.0, r.rss.Last() / 1024.0, r.rss.Max() / 1024.0, r.rss.Count());
    Row("RSS last - first", "", "%+.2f MiB", growth);
    if (r.failures != 0) {
        std::printf("\nlast read failure: %d\n", r.lastFailure);
    }
}

// The bare decode step in a child process, so that its buffers and the simulator's cached
// images never count in this process's memory. Called while this process runs no other
// thread.
bool MeasureBareDecodeApart(const Options& o, BareCosts& costs, std::string& error) {
    struct Answer {
        BareCosts costs;
        bool ok;
        char error[200];
    };
    int fds[2];
    if (pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Answer answer{};
        std::string text;
        answer.ok =
            MeasureBareDecode(o.decodeFrames, o.colourWidth, o.colourHeight, answer.costs, text);
        std::snprintf(answer.error, sizeof answer.error, "%s", text.c_str());
        const bool written = write(fds[1], &answer, sizeof answer) == sizeof answer;
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    Answer answer{};
    size_t got = 0;
    while (pid > 0 && got < sizeof answer) {
        const ssize_t n = read(fds[0], reinterpret_cast<char*>(&answer) + got, sizeof answer - got);
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            break;
        }
        got += n > 0 ? static_cast<size_t>(n) : 0;
    }
    close(fds[0]);
    if (pid > 0) {
        waitpid(pid, nullptr, 0);
    }
    if (got != sizeof answer) {
        error = "the bare decode step did not answer";
        return false;
    }
    costs = answer.costs;
    error = answer.error;
    return answer.ok;
}

int Run(const Options& o) {
    const std::string loadBefore = LoadAverage();
    BareCosts bareBefore;
    std::string bareError;
    const bool bareBeforeOk = MeasureBareDecodeApart(o, bareBefore, bareError);
    CamsimProcess camsim;
    if (o.spawn) {
        const std::string fps = std::to_string(o.fps);
        const std::vector<std::string> args = {
            "--address",  o.address, "--model",  "TK5P",        "--serial",
            o.serial,     "--fps",   fps,        "--data-mode", "2",
            "--packing",  "raw12",   "--colour", "mjpeg",       "--colour-size",
            o.colourSize, "--push",  "prompt",   "--interval",  "100"};
        std::string error;
        if (!camsim.Start(o.camsim, args, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    if (Ns2_Initialize() != NsStatusOk) {
        std::fprintf(stderr, "Ns2_Initialize failed\n");
        return 1;
    }
    int status = 0;
    StreamResult result;
    NsDeviceHandle h = nullptr;
    if (!WaitForDevice(o.uri, 10s)) {
        std::fprintf(stderr, "%s was not discovered within 10 s (is UDP 9007 free?)\n",
                     o.uri.c_str());
        status = 3;
    } else if (const NsReturnStatus ret = Ns2_OpenDevice(o.uri.c_str(), &h); ret != NsStatusOk) {
        std::fprintf(stderr, "Ns2_OpenDevice(%s): %d\n", o.uri.c_str(), ret);
        status = 4;
    } else {
        if (o.map) {
            Ns2_SetMapperEnabledDepthToRGB(h, 0, 1);
            Ns2_SetMapperEnabledRGBToDepth(h, 0, 1);
        }
        const Clock::time_point before = Clock::now();
        const NsReturnStatus startStatus = Ns2_StartStream(h, 0);
        const Clock::time_point started = Clock::now();
        result.startStreamMs = Seconds(started - before) * 1e3;
        if (startStatus != NsStatusOk) {
            std::fprintf(stderr, "Ns2_StartStream: %d\n", startStatus);
            status = 5;
        } else {
            std::printf("streaming %s for %.0f s after %.0f s warm-up ...\n", o.uri.c_str(),
                        o.seconds, o.warmup);
            std::fflush(stdout);
            ReadStream(h, o, camsim, started, result);
            Ns2_GetFrameMode(h, 0, RGBFrame, &result.colourMode);
            Ns2_StopStream(h, 0);
        }
        Ns2_CloseDevice(&h);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    result.maxRssKiB = usage.ru_maxrss;
    Ns2_Shutdown();

    SimSide sim;
    sim.cpuSeconds = camsim.CpuSeconds();
    for (const std::string& line : camsim.Stop()) {
        if (auto counts = ParseSimCounts(line)) {
            sim.known = true;
            sim.counts = *counts;
        }
    }
    const std::string loadAfter = LoadAverage();
    if (status != 0) {
        return status;
    }

    BareCosts bareAfter;
    std::string error = bareError;
    const bool bareOk = bareBeforeOk && MeasureBareDecodeApart(o, bareAfter, error);
    if (!bareOk) {
        std::fprintf(stderr, "bare decode: %s\n", error.c_str());
    }
    PrintTable(o, result, sim, bareOk ? &bareBefore : nullptr, bareOk ? &bareAfter : nullptr,
               loadBefore, loadAfter);
    if (result.window.Delivered() == 0) {
        std::fprintf(stderr, "no whole frame set was delivered\n");
        return 6;
    }
    return bareOk ? 0 : 1;
}

}  // namespace
}  // namespace quorix::bench

int main(int argc, char** argv) {
    quorix::bench::Options options;
    int exit = 0;
    if (!quorix::bench::ParseOptions(argc, argv, options, exit)) {
        return exit;
    }
    return quorix::bench::Run(options);
}
