// quorix-cli: lists, streams and captures Quorix cameras and reads and changes their
// settings through the public C interface, like any application. Only `demo` reaches past it, to
// run a simulated camera in-process.
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <quorix/quorix_api.h>

#include "cli/CameraQueries.h"
#include "cli/CliOptions.h"
#include "cli/DemoCamera.h"
#include "cli/DeviceText.h"
#include "cli/Diagnosis.h"
#include "cli/FrameClock.h"
#include "cli/InfoText.h"
#include "cli/Recorder.h"
#include "cli/Snapshot.h"
#include "cli/StreamStats.h"
#include "cli/Upgrade.h"
#include "cli/Viewer.h"

namespace {

using namespace quorix::cli;

constexpr int kExitInterrupted = 130;       // 128 + SIGINT, as shells report it
constexpr int64_t kNoFramesLimitMs = 5000;  // a stream silent this long has failed
constexpr uint16_t kReadWaitMs = 200;       // keeps Ctrl-C prompt while frames are awaited
constexpr const char* kDemoSerial = "QXDEMO0001";
constexpr const char* kSimUsbSerial = "QXUSBSIM";

volatile std::sig_atomic_t g_interrupted = 0;
volatile std::sig_atomic_t g_firstInterruptS = 0;

constexpr int kForceAfterSeconds = 3;

// The first Ctrl-C or SIGTERM ends the current command cleanly, with its summary. More
// signals right after it are ignored: `timeout` and process-group kills deliver two at
// once, and the summary must survive them. One that comes after the program had time to
// finish ends a hung program at once.
void OnSignal(int) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (!g_interrupted) {
        g_interrupted = 1;
        g_firstInterruptS = static_cast<std::sig_atomic_t>(now.tv_sec);
        return;
    }
    if (now.tv_sec - g_firstInterruptS >= kForceAfterSeconds) {
        _exit(kExitInterrupted);
    }
}

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Sleeps in short steps; false when interrupted.
bool SleepFor(double seconds) {
    const int64_t end = SteadyMs() + static_cast<int64_t>(seconds * 1000.0);
    while (!g_interrupted && SteadyMs() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !g_interrupted;
}

__attribute__((format(printf, 2, 3))) int Fail(int code, const char* format, ...) {
    std::fflush(stdout);
    std::fputs("quorix-cli: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return code;
}

// The library from Ns2_Initialize to Ns2_Shutdown.
class Library {
public:
    Library() : m_status(Ns2_Initialize()) {}
    ~Library() {
        if (m_status == NsStatusOk) {
            Ns2_Shutdown();
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    NsReturnStatus Status() const { return m_status; }

private:
    NsReturnStatus m_status;
};

std::vector<NsDeviceInfo> DeviceList() {
    uint32_t count = 0;
    if (Ns2_GetDeviceCount(&count) != NsStatusOk || count == 0) {
        return {};
    }
    std::vector<NsDeviceInfo> devices(count);
    if (Ns2_GetDeviceListInfo(devices.data(), count) != NsStatusOk) {
        return {};
    }
    return devices;
}

void PrintDevices(const std::vector<NsDeviceInfo>& devices) {
    if (devices.empty()) {
        std::printf("no cameras found\n");
        return;
    }
    std::printf("%s\n", DeviceTableHeader().c_str());
    for (const NsDeviceInfo& device : devices) {
        std::printf("%s\n", DeviceTableRow(device).c_str());
        const std::string unopenable = UnopenableLine(device);
        if (!unopenable.empty()) {
            std::printf("%s\n", unopenable.c_str());
        }
    }
}

// The present camera with `name` as URI or alias, if listed.
std::optional<NsDeviceInfo> FindPresent(const std::string& name) {
    for (const NsDeviceInfo& device : DeviceList()) {
        // An empty name takes the first camera (view without a URI).
        if (device.status != Unconnected &&
            (name.empty() || DeviceUri(device) == name || DeviceAlias(device) == name)) {
            return device;
        }
    }
    return std::nullopt;
}

// Polls the device list until a present camera has `name` as URI or alias.
std::optional<NsDeviceInfo> WaitForDevice(const std::string& name, double seconds) {
    const int64_t end = SteadyMs() + static_cast<int64_t>(seconds * 1000.0);
    do {
        if (std::optional<NsDeviceInfo> device = FindPresent(name)) {
            return device;
        }
    } while (SleepFor(0.1) && SteadyMs() < end);
    return std::nullopt;
}

// Why discovery cannot find network cameras, one line each; empty while it listens.
std::vector<std::string> DiscoveryLines() {
    NsDiscoveryState state{};
    if (Ns2_GetDiscoveryState(&state) != NsStatusOk) {
        return {};
    }
    return DiscoveryProblem(state);
}

void PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

// A camera that was not found: what was seen instead, and what to do.
int NotFound(const std::string& name, double waitSeconds) {
    Fail(kExitNotFound, "camera %s not found within %.1f s", name.c_str(), waitSeconds);
    std::vector<std::string> seen;
    for (const NsDeviceInfo& device : DeviceList()) {
        if (device.status != Unconnected) {
            seen.push_back("  " + DeviceUri(device) + " (alias " + DeviceAlias(device) + ", " +
                           StatusName(device.status) + ")");
        }
    }
    if (seen.empty()) {
        std::fprintf(stderr, "no camera was seen\n");
    } else {
        std::fprintf(stderr, "cameras seen (use one of these URIs or aliases):\n");
        PrintLines(seen);
    }
    const std::vector<std::string> discovery = DiscoveryLines();
    PrintLines(discovery);
    if (seen.empty() && discovery.empty()) {
        std::fprintf(stderr,
                     "check that the camera is powered and on this network (or plugged in), or "
                     "try a simulated one:\n  quorix-camsim --address 127.0.0.2 --model TK5P "
                     "--serial QX1 &\n");
    }
    return kExitNotFound;
}

// One opened, streaming session; stops and closes on destruction.
class Session {
public:
    Session() = default;
    ~Session() {
        if (m_streaming) {
            Ns2_StopStream(m_handle, m_index);
        }
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Finds the camera, opens it and starts the stream; 0 or the exit code (printed).
    int Start(const std::string& name, uint32_t index, double waitSeconds) {
        const int code = Open(name, index, waitSeconds);
        return code != kExitOk ? code : Stream();
    }

    // Starts the stream; 0 or the exit code (printed).
    int Stream() {
        if (const NsReturnStatus s = StartStream(); s != NsStatusOk) {
            return Fail(kExitFailure, "could not start the stream of session %u: %s", m_index,
                        StatusText(s).c_str());
        }
        return kExitOk;
    }

    // Finds the camera and opens it; 0 or the exit code (printed).
    int Open(const std::string& name, uint32_t index, double waitSeconds) {
        m_index = index;
        const std::optional<NsDeviceInfo> device = WaitForDevice(name, waitSeconds);
        if (!device) {
            return g_interrupted ? kExitInterrupted : NotFound(name, waitSeconds);
        }
        const std::string uri = DeviceUri(*device);
        m_uri = uri;
        m_device = *device;
        if (index >= device->SessionCount) {
            return Fail(kExitFailure, "%s has %u session(s); there is no session %u", uri.c_str(),
                        device->SessionCount, index);
        }
        if (const NsReturnStatus s = Ns2_OpenDevice(uri.c_str(), &m_handle); s != NsStatusOk) {
            m_handle = nullptr;
            return Fail(kExitOpenFailed, "could not open %s: %s", uri.c_str(),
                        StatusText(s).c_str());
        }
        std::printf("opened %s, session %u\n", uri.c_str(), index);
        Ns2_SetWaitTimeOfReadNextFrame(m_handle, m_index, kReadWaitMs);
        return kExitOk;
    }

    // Closes the camera early (a transfer hands its connections to the library's worker).
    void Close() {
        if (m_handle != nullptr) {
            Ns2_CloseDevice(&m_handle);
            m_streaming = false;
        }
    }

    NsReturnStatus StartStream() {
        const NsReturnStatus status = Ns2_StartStream(m_handle, m_index);
        m_streaming = status == NsStatusOk;
        return status;
    }

    NsDeviceHandle Handle() const { return m_handle; }
    uint32_t Index() const { return m_index; }
    const std::string& Uri() const { return m_uri; }
    const NsDeviceInfo& Device() const { return m_device; }
    void StopStream() {
        if (m_streaming) {
            Ns2_StopStream(m_handle, m_index);
            m_streaming = false;
        }
    }

private:
    std::string m_uri;
    NsDeviceInfo m_device{};
    NsDeviceHandle m_handle = nullptr;
    uint32_t m_index = 0;
    bool m_streaming = false;
};

// Frame types behind the bits of the ready set.
struct ReadyFrame {
    uint32_t bit;
    uint32_t type;
};
constexpr ReadyFrame kReadyFrames[] = {
    {NsFrameReadyDepth, DepthFrame},
    {NsFrameReadyIR, IRFrame},
    {NsFrameReadyRGB, RGBFrame},
    {NsFrameReadyMappedRGB, MappedRGBFrame},
    {NsFrameReadyMappedDepth, MappedDepthFrame},
    {NsFrameReadyMappedIR, MappedIRFrame},
    {NsFrameReadyWDRDepth, WDRDepthFrame},
};

// Statuses after which reading cannot recover: the stream or the camera is gone.
bool IsFatalRead(NsReturnStatus status) {
    return status == NsStatusNotStreaming || status == NsStatusBadHandle ||
           status == NsStatusOpenFailed;
}

// How long a lost camera is given to announce itself again: a camera taken by another
// client keeps announcing (about once a second), one that stopped answering does not.
constexpr double kReannounceSeconds = 3.0;

// What happened when reading failed for good, and what to do.
std::string ReadFailure(const Session& session, NsReturnStatus status) {
    if (status != NsStatusBadHandle && status != NsStatusOpenFailed) {
        return "reading frames failed: " + StatusText(status);
    }
    std::fprintf(stderr,
                 "quorix-cli: the stream of %s ended (%s); checking whether the camera "
                 "is still there...\n",
                 session.Uri().c_str(), Ns2_GetStatusName(status));
    const bool present = WaitForDevice(session.Uri(), kReannounceSeconds).has_value();
    return LostCameraText(session.Uri(), present);
}

// Reads the next frame set; on a failure other than a time-out waits a little so a
// failing camera does not spin the loop. Returns the read status.
NsReturnStatus ReadFrameSet(const Session& session, uint32_t& ready) {
    ready = 0;
    const NsReturnStatus status = Ns2_ReadNextFrame(session.Handle(), session.Index(), &ready);
    if (status != NsStatusOk && status != NsStatusFrameTimeout) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
}

int StreamFrames(const Session& session, uint64_t frameLimit, double seconds) {
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    const int64_t interval = terminal ? 250 : 1000;
    const int64_t start = SteadyMs();
    const int64_t end = seconds > 0 ? start + static_cast<int64_t>(seconds * 1000.0) : -1;
    StreamStats stats(start);
    int64_t nextProgress = start + interval;
    int exitCode = kExitOk;
    std::string failure;
    while (!g_interrupted) {
        const int64_t now = SteadyMs();
        if ((frameLimit > 0 && stats.FrameSets() >= frameLimit) || (end >= 0 && now >= end)) {
            break;
        }
        if (now - stats.LastFrameSetMs() >= kNoFramesLimitMs) {
            exitCode = kExitNoFrames;
            failure = "no frames for " + std::to_string(kNoFramesLimitMs / 1000) + " s";
            break;
        }
        if (now >= nextProgress) {
            const std::string line = stats.ProgressLine(now);
            std::printf(terminal ? "\r%s\x1b[K" : "%s\n", line.c_str());
            std::fflush(stdout);
            nextProgress = now + interval;
        }
        uint32_t ready = 0;
        const NsReturnStatus status = ReadFrameSet(session, ready);
        if (status == NsStatusFrameTimeout) {
            stats.OnTimeout();
            continue;
        }
        if (status != NsStatusOk) {
            stats.OnFailure();
            if (IsFatalRead(status)) {
                exitCode = kExitFailure;
                failure = ReadFailure(session, status);
                break;
            }
            continue;
        }
        stats.OnFrameSet(SteadyMs());
        for (const ReadyFrame& r : kReadyFrames) {
            if ((ready & r.bit) == 0) {
                continue;
            }
            NsFrame frame{};
            if (Ns2_GetFrame(session.Handle(), session.Index(), r.type, &frame) != NsStatusOk) {
                stats.OnFailure();
                continue;
            }
            stats.OnFrame(r.type, LatencyMs(frame.timestamp, LocalClockNow()));
        }
    }
    if (terminal && nextProgress > start + interval) {
        std::printf("\n");
    }
    std::printf("%s", stats.Summary(SteadyMs()).c_str());
    return failure.empty() ? exitCode : Fail(exitCode, "%s", failure.c_str());
}

// Fetches the frame of `type` into `frame` when `bit` is ready; null otherwise.
const NsFrame* FetchFrame(const Session& session, uint32_t ready, uint32_t bit, uint32_t type,
                          NsFrame& frame) {
    if ((ready & bit) == 0 ||
        Ns2_GetFrame(session.Handle(), session.Index(), type, &frame) != NsStatusOk) {
        return nullptr;
    }
    return &frame;
}

// The depth frame's world points through the session's pixel rays; the status says why
// there are none.
NsReturnStatus DepthPoints(const Session& session, const NsFrame& depth,
                           std::vector<NsVector3f>& points) {
    const size_t pixels = static_cast<size_t>(depth.width) * depth.height;
    if (pixels == 0 || depth.pFrameData == nullptr || depth.dataLen / 2 < pixels) {
        return NsStatusBadParameter;  // the snapshot's frame check reports it
    }
    points.resize(pixels);
    return Ns2_ConvertDepthFrameToWorldVector(session.Handle(), session.Index(), &depth,
                                              points.data());
}

// Says which of the usual files the snapshot did not write, and why.
void MissingFileNotes(const Session& session, const SnapshotFrames& frames) {
    uint8_t mode = 0;
    const bool known = Ns2_GetDataMode(session.Handle(), session.Index(), &mode) == NsStatusOk;
    if (frames.ir == nullptr) {
        if (known && !DataModeSendsIr(mode)) {
            std::printf("no %s: data mode %u sends %s only (set data-mode 2 for depth and IR)\n",
                        kIrFile, mode, DataModeName(mode).c_str());
        } else {
            std::printf("no %s: no IR frame came with the depth frame\n", kIrFile);
        }
    }
    if (frames.colour == nullptr) {
        std::printf(
            "no %s: no colour frame came with the depth frame (this sensor may have no "
            "colour camera, or colour is off)\n",
            kColourFile);
    }
}

// Turns on colour on depth, depth on colour and IR on colour; says which were refused.
void MapEverything(const Session& session) {
    using Switch = NsReturnStatus (*)(NsDeviceHandle, uint32_t, uint8_t);
    const std::pair<Switch, const char*> switches[] = {
        {Ns2_SetMapperEnabledDepthToRGB, "colour on depth"},
        {Ns2_SetMapperEnabledRGBToDepth, "depth on colour"},
        {Ns2_SetMapperEnabledRGBToIR, "IR on colour"}};
    for (const auto& [set, name] : switches) {
        if (const NsReturnStatus s = set(session.Handle(), session.Index(), 1); s != NsStatusOk) {
            std::printf("mapping %s was not turned on: %s\n", name, StatusText(s).c_str());
        }
    }
}

int Snapshot(const Session& session, const std::string& folder) {
    // Colour in depth geometry: its own image, and the colour of the point cloud. A camera
    // without calibration or colour delivers none, and the points stay uncoloured.
    Ns2_SetMapperEnabledDepthToRGB(session.Handle(), session.Index(), 1);
    // The first set that holds depth; IR and colour come with it when the camera sends them.
    const int64_t end = SteadyMs() + kNoFramesLimitMs;
    uint32_t ready = 0;
    while ((ready & (NsFrameReadyDepth | NsFrameReadyWDRDepth)) == 0) {
        if (g_interrupted) {
            return Fail(kExitInterrupted, "interrupted");
        }
        if (SteadyMs() >= end) {
            uint8_t mode = 0;
            const bool known = Ns2_GetDataMode(session.Handle(), session.Index(), &mode) == 0;
            return Fail(kExitNoFrames, "no depth frame within %.1f s%s",
                        static_cast<double>(kNoFramesLimitMs) / 1000.0,
                        known && DataModeName(mode).find("depth") == std::string::npos
                            ? ("; data mode " + std::to_string(mode) + " sends " +
                               DataModeName(mode) + " (set data-mode 2 for depth and IR)")
                                  .c_str()
                            : "");
        }
        const NsReturnStatus status = ReadFrameSet(session, ready);
        if (IsFatalRead(status)) {
            return Fail(kExitFailure, "%s", ReadFailure(session, status).c_str());
        }
        if (status != NsStatusOk) {
            ready = 0;
        }
    }
    NsFrame depth{};
    NsFrame ir{};
    NsFrame colour{};
    NsFrame mapped{};
    SnapshotFrames frames;
    frames.depth = FetchFrame(session, ready, NsFrameReadyDepth, DepthFrame, depth);
    if (frames.depth == nullptr) {
        frames.depth = FetchFrame(session, ready, NsFrameReadyWDRDepth, WDRDepthFrame, depth);
    }
    frames.ir = FetchFrame(session, ready, NsFrameReadyIR, IRFrame, ir);
    frames.colour = FetchFrame(session, ready, NsFrameReadyRGB, RGBFrame, colour);
    frames.mappedColour = FetchFrame(session, ready, NsFrameReadyMappedRGB, MappedRGBFrame, mapped);
    std::vector<NsVector3f> points;
    NsReturnStatus pointStatus = NsStatusNullFrame;
    if (frames.depth != nullptr) {
        pointStatus = DepthPoints(session, depth, points);
        frames.points = pointStatus == NsStatusOk ? points.data() : nullptr;
    }

    SnapshotResult result;
    if (!WriteSnapshot(frames, folder, result)) {
        return Fail(kExitFailure, "snapshot failed: %s", result.error.c_str());
    }
    if (frames.depth != nullptr) {
        if (result.depth.valid > 0) {
            std::printf("depth: %u mm to %u mm (%zu valid pixels)\n", result.depth.min,
                        result.depth.max, result.depth.valid);
        } else {
            std::printf("depth: no valid pixels\n");
        }
    }
    for (const std::string& file : result.files) {
        if (file == result.pointCloud) {
            std::printf("wrote %s (%zu points, %s)\n", file.c_str(), result.points,
                        result.colouredPoints ? "coloured" : "no colour");
        } else {
            std::printf("wrote %s\n", file.c_str());
        }
    }
    MissingFileNotes(session, frames);
    if (frames.depth != nullptr && frames.points == nullptr) {
        std::printf("no point cloud: the depth frame could not be converted: %s\n",
                    StatusText(pointStatus).c_str());
    }
    return kExitOk;
}

int RunList(const Options& options) {
    Library library;
    if (library.Status() != NsStatusOk) {
        return Fail(kExitFailure, "could not initialise the library: %s",
                    StatusText(library.Status()).c_str());
    }
    const std::vector<std::string> discovery = DiscoveryLines();
    if (discovery.empty()) {
        std::printf("listening for cameras for %.1f s...\n", options.waitSeconds);
        std::fflush(stdout);
        SleepFor(options.waitSeconds);
    }
    PrintDevices(DeviceList());
    if (!discovery.empty()) {
        // Only USB cameras can be listed: an empty list would be a lie about the network.
        std::fflush(stdout);
        PrintLines(discovery);
        return kExitFailure;
    }
    return kExitOk;
}

int RunInfo(const Session& session) {
    // The library reads the camera's calibration and ranges when the stream first starts;
    // without it they are reported unavailable.
    const NsReturnStatus stream = Ns2_StartStream(session.Handle(), session.Index());
    if (stream == NsStatusOk) {
        Ns2_StopStream(session.Handle(), session.Index());
    } else {
        std::printf("the stream did not start: %s\n", StatusText(stream).c_str());
    }
    for (const std::string& line : CameraInfoLines(session.Handle(), session.Index(), stream)) {
        std::printf("%s\n", line.c_str());
    }
    return kExitOk;
}

int RunGet(const Session& session, const std::optional<Setting>& only) {
    // The library answers threshold and pulse count by the data mode it knows (the WDR
    // modes have none); without a stream start it knows the camera's mode once read.
    uint8_t mode = 0;
    Ns2_GetDataMode(session.Handle(), session.Index(), &mode);
    bool failed = false;
    for (const SettingInfo& info : AllSettings()) {
        if (only && *only != info.setting) {
            continue;
        }
        NsReturnStatus status = NsStatusOk;
        std::printf("%s\n",
                    SettingLine(session.Handle(), session.Index(), info.setting, status).c_str());
        failed = failed || status != NsStatusOk;
    }
    // One setting asked for and not read is a failure; the full list is a report.
    return only && failed ? kExitFailure : kExitOk;
}

// The values a refused setting accepts: the camera's own list where it has one.
std::string ValidValues(const Session& session, Setting setting) {
    const uint32_t listId = setting == Setting::kDataMode     ? NS_PROPERTY_DATA_MODE_LIST
                            : setting == Setting::kDepthRange ? NS_PROPERTY_DEPTH_RANGE_LIST
                                                              : 0;
    if (listId != 0) {
        const auto list = ReadCameraList(session.Handle(), session.Index(), listId);
        if (list && !list->empty()) {
            return "this camera offers " + ListText(*list);
        }
    }
    return std::string("valid: ") + InfoOf(setting).values;
}

// A filter of the library: printed, or set and read back. It lasts for this command only.
int RunFilter(const Session& session, HostFilter filter, std::optional<bool> on) {
    const char* name = InfoOf(filter).name;
    if (on) {
        if (const NsReturnStatus s = WriteFilter(session.Handle(), session.Index(), filter, *on);
            s != NsStatusOk) {
            return Fail(kExitFailure, "%s was not set: %s", name, StatusText(s).c_str());
        }
    }
    bool now = false;
    if (const NsReturnStatus s = ReadFilter(session.Handle(), session.Index(), filter, now);
        s != NsStatusOk) {
        return Fail(kExitFailure, "%s could not be read: %s", name, StatusText(s).c_str());
    }
    std::printf(
        "%s: %s (a filter of this program's library; use --filter with stream or "
        "snapshot)\n",
        name, now ? "on" : "off");
    return on && *on != now ? kExitFailure : kExitOk;
}

// The time filter's average needs a few frames to settle before a snapshot shows it.
void SettleTimeFilter(const Session& session) {
    constexpr int kSettleSets = 20;
    const int64_t end = SteadyMs() + kNoFramesLimitMs;
    for (int sets = 0; sets < kSettleSets && !g_interrupted && SteadyMs() < end;) {
        uint32_t ready = 0;
        if (ReadFrameSet(session, ready) == NsStatusOk &&
            (ready & (NsFrameReadyDepth | NsFrameReadyWDRDepth)) != 0) {
            ++sets;
        }
    }
}

int RunSet(Session& session, Setting setting, uint32_t value) {
    const char* name = InfoOf(setting).name;
    const std::string wanted = FormatSettingValue(setting, value);
    // Streaming: the camera confirms the new value in its stream, and the data-mode and
    // depth-range lists a value is checked against are read at the first start.
    if (const NsReturnStatus s = session.StartStream(); s != NsStatusOk) {
        return Fail(kExitFailure, "could not start the stream to set %s: %s", name,
                    StatusText(s).c_str());
    }
    if (const NsReturnStatus s = WriteSetting(session.Handle(), session.Index(), setting, value);
        s != NsStatusOk) {
        const bool refused =
            s == NsStatusBadParameter || s == NsStatusBadDepthRange || s == NsStatusOther;
        return Fail(kExitFailure, "%s %s was not set: %s%s%s", name, wanted.c_str(),
                    StatusText(s).c_str(), refused ? "\n  " : "",
                    refused ? ValidValues(session, setting).c_str() : "");
    }
    uint32_t now = 0;
    const NsReturnStatus s = ReadSetting(session.Handle(), session.Index(), setting, now);
    if (s != NsStatusOk) {
        return Fail(kExitFailure, "%s was set to %s, but reading it back failed: %s", name,
                    wanted.c_str(), StatusText(s).c_str());
    }
    std::printf("%s: %s\n", name, FormatSettingValue(setting, now).c_str());
    if (now != value) {
        return Fail(kExitFailure, "the camera reports %s %s after it was set to %s", name,
                    FormatSettingValue(setting, now).c_str(), wanted.c_str());
    }
    return kExitOk;
}

// The library reports no progress for 60 s before it ends an upgrade itself.
constexpr double kTransferIdleSeconds = 90.0;

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// The camera as the list shows it once it is back after its restart, or nothing.
std::optional<std::string> FirmwareAfterRestart(const std::string& uri, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && !g_interrupted) {
        const std::optional<NsDeviceInfo> device = WaitForDevice(uri, 1.0);
        if (device && device->status == Connected) {
            NsDeviceHandle h = nullptr;
            if (Ns2_OpenDevice(uri.c_str(), &h) == NsStatusOk) {
                char version[64] = {};
                const NsReturnStatus s =
                    Ns2_GetFirmwareVersionNumber(h, 0, version, sizeof version);
                Ns2_CloseDevice(&h);
                if (s == NsStatusOk) {
                    return std::string(version);
                }
            }
        }
        SleepFor(0.5);
    }
    return std::nullopt;
}

int RunUpgrade(Session& session, const std::string& image) {
    char before[64] = {};
    Ns2_GetFirmwareVersionNumber(session.Handle(), session.Index(), before, sizeof before);
    if (const NsReturnStatus s =
            Ns2_SetUpgradeStatusCallback(session.Handle(), session.Index(), QueueTransferEvent);
        s != NsStatusOk) {
        return Fail(kExitFailure, "the upgrade could not start: %s", StatusText(s).c_str());
    }
    const std::string path = AbsolutePath(image);
    if (const NsReturnStatus s =
            Ns2_StartUpgradeFirmWare(session.Handle(), session.Index(), path.c_str());
        s != NsStatusOk) {
        return Fail(kExitFailure, "%s was not started on %s: %s\n  %s", path.c_str(),
                    session.Uri().c_str(), StatusText(s).c_str(),
                    RefusalText(Transfer::kFirmware, s).c_str());
    }
    std::printf("upgrading %s from firmware %s with %s\n", session.Uri().c_str(), before,
                path.c_str());
    std::fflush(stdout);
    const std::string uri = session.Uri();
    session.Close();
    const Outcome outcome = FollowTransfer(Transfer::kFirmware, kTransferIdleSeconds);
    if (outcome != Outcome::kDone) {
        return Fail(kExitFailure, "the upgrade of %s %s", uri.c_str(),
                    outcome == Outcome::kFailed ? "failed" : "reported nothing in time");
    }
    std::printf("waiting for %s to come back...\n", uri.c_str());
    std::fflush(stdout);
    const std::optional<std::string> after = FirmwareAfterRestart(uri, 60.0);
    if (!after) {
        return Fail(kExitFailure, "%s did not come back within 60 s", uri.c_str());
    }
    std::printf("%s is back with firmware %s\n", uri.c_str(), after->c_str());
    return kExitOk;
}

// Network models (the public header's list); every other model is a USB camera.
bool IsNetworkModel(uint32_t type) {
    return type == 440 || type == 442 || (type >= 561 && type <= 563);
}

// Where the library puts a USB camera's fetched JSON file (documented in its header).
std::string FetchedJsonPath() {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) {
        return "";
    }
    return std::string(found->pw_dir) + "/.local/share/Quorix/Json/config.json";
}

int RunConfig(Session& session, const Options& options) {
    const bool network = IsNetworkModel(session.Device().devicetype);
    if (!options.fetchFile.empty() && network) {
        return Fail(kExitFailure,
                    "%s cannot hand its JSON configuration to this computer: a network camera "
                    "only takes a new file; fetching needs a USB camera",
                    session.Uri().c_str());
    }
    const NsUpgradeStatusCallback callback = QueueTransferEvent;
    if (const NsReturnStatus s =
            Ns2_SetProperty(session.Handle(), session.Index(), NS_PROPERTY_JSON_CONFIG_MODE,
                            &callback, sizeof callback);
        s != NsStatusOk) {
        return Fail(kExitFailure, "%s did not enter its JSON mode: %s\n  %s", session.Uri().c_str(),
                    StatusText(s).c_str(), RefusalText(Transfer::kJson, s).c_str());
    }
    Outcome outcome = FollowTransfer(Transfer::kJson, kTransferIdleSeconds);
    if (outcome != Outcome::kWaitingForFile) {
        return Fail(kExitFailure, "%s did not get ready for the file", session.Uri().c_str());
    }
    if (!options.fetchFile.empty()) {
        // The library copied the camera's current file from its drive; leaving (the library
        // shuts down) restarts the camera out of its JSON mode.
        std::error_code ec;
        std::filesystem::copy_file(FetchedJsonPath(), options.fetchFile,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            return Fail(kExitFailure, "the fetched file %s could not be copied to %s: %s",
                        FetchedJsonPath().c_str(), options.fetchFile.c_str(), ec.message().c_str());
        }
        std::printf("the camera's JSON configuration is in %s; the camera restarts\n",
                    options.fetchFile.c_str());
        return kExitOk;
    }
    const std::string path = AbsolutePath(options.sendFile);
    if (const NsReturnStatus s =
            Ns2_SetProperty(session.Handle(), session.Index(), NS_PROPERTY_JSON_TRANSFER,
                            path.c_str(), static_cast<uint32_t>(path.size() + 1));
        s != NsStatusOk) {
        return Fail(kExitFailure, "%s was not sent: %s\n  %s", path.c_str(), StatusText(s).c_str(),
                    RefusalText(Transfer::kJson, s).c_str());
    }
    std::printf("sending %s\n", path.c_str());
    std::fflush(stdout);
    outcome = FollowTransfer(Transfer::kJson, kTransferIdleSeconds);
    if (outcome != Outcome::kDone) {
        return Fail(kExitFailure, "the JSON transfer to %s %s", session.Uri().c_str(),
                    outcome == Outcome::kFailed ? "failed" : "reported nothing in time");
    }
    return kExitOk;
}

std::string UtcNow() {
    const time_t now = time(nullptr);
    tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The tap is in place before the stream starts, so the recording holds the stream from its
// first frame (and any parameter block the camera pushes then), and a replay opened and
// started like this camera delivers the same frames under the same indexes. The state is
// taken once the stream runs: the library reads the calibration at the first start.
int RunRecord(Session& session, const Options& options) {
    quorix::record::RecordingWriter writer;
    if (const NsReturnStatus s = SetTap(session.Handle(), session.Index(), &writer);
        s != NsStatusOk) {
        return Fail(kExitFailure, "this camera's data stream cannot be recorded: %s",
                    StatusText(s).c_str());
    }
    auto abandon = [&](int code) {
        SetTap(session.Handle(), session.Index(), nullptr);
        std::string ignored;
        writer.Finish(ignored);
        return code;
    };
    if (const int code = session.Stream(); code != kExitOk) {
        return abandon(code);
    }
    quorix::record::RecordedState state =
        CaptureState(session.Handle(), session.Index(), session.Device());
    state.Set("started", UtcNow());
    if (std::string error; !writer.Open(options.outDir, state, error)) {
        return abandon(Fail(kExitFailure, "could not write the recording: %s", error.c_str()));
    }
    std::vector<std::pair<std::string, std::string>> settings =
        WatchedSettings(session.Handle(), session.Index());
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    const int64_t start = SteadyMs();
    const int64_t end =
        options.seconds > 0 ? start + static_cast<int64_t>(options.seconds * 1000.0) : -1;
    int64_t nextReport = start;
    int64_t nextPoll = start + 1000;
    int code = kExitOk;
    for (;;) {
        const int64_t now = SteadyMs();
        const auto progress = writer.Current();
        if (g_interrupted || (end >= 0 && now >= end) ||
            (options.frames > 0 && progress.frames >= options.frames)) {
            break;
        }
        if (progress.frames == 0 && now - start > kNoFramesLimitMs) {
            code = Fail(kExitNoFrames, "no data frames arrived in %lld s",
                        static_cast<long long>(kNoFramesLimitMs / 1000));
            break;
        }
        if (now >= nextReport) {
            std::printf("recording: %llu frames, %.1f MB, %llu dropped%s",
                        static_cast<unsigned long long>(progress.frames),
                        static_cast<double>(progress.bytes) / 1e6,
                        static_cast<unsigned long long>(progress.dropped), terminal ? "\r" : "\n");
            std::fflush(stdout);
            nextReport = now + (terminal ? 250 : 1000);
        }
        if (now >= nextPoll) {
            // A setting changed during the recording (by the camera, or a firmware rule)
            // goes into the file with its time, so the replay changes it at that point.
            for (const auto& [name, value] : WatchedSettings(session.Handle(), session.Index())) {
                for (auto& known : settings) {
                    if (known.first == name && known.second != value) {
                        known.second = value;
                        writer.AddSetting(name, value);
                    }
                }
            }
            nextPoll = now + 1000;
        }
        uint32_t ready = 0;
        ReadFrameSet(session, ready);  // the application's side of the stream, kept flowing
    }
    SetTap(session.Handle(), session.Index(), nullptr);
    session.StopStream();
    std::string error;
    const bool written = writer.Finish(error);
    const auto progress = writer.Current();
    std::printf("%srecorded %llu frames, %.1f MB, %llu dropped into %s\n", terminal ? "\n" : "",
                static_cast<unsigned long long>(progress.frames),
                static_cast<double>(progress.bytes) / 1e6,
                static_cast<unsigned long long>(progress.dropped), options.outDir.c_str());
    if (!written) {
        return Fail(kExitFailure, "the recording is incomplete: %s", error.c_str());
    }
    return code;
}

// A recording rather than a camera: an existing file, or a name no camera has (a path, or
// the recordings' usual extension), so a mistyped file name says that the file is missing.
bool IsRecordingPath(const std::string& text) {
    struct stat st {};
    const bool file = ::stat(text.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const std::string extension = ".qxrec";
    const bool named =
        text.size() > extension.size() &&
        text.compare(text.size() - extension.size(), extension.size(), extension) == 0;
    return file || named || text.find('/') != std::string::npos;
}

int RunRecordingInfo(const std::string& path) {
    quorix::record::RecordingReader reader;
    std::string error;
    auto source = quorix::record::OpenFileSource(path, error);
    if (!source || !reader.Open(std::move(source), error)) {
        return Fail(kExitFailure, "%s: %s", path.c_str(), error.c_str());
    }
    for (const std::string& line : RecordingSummary(reader)) {
        std::printf("%s\n", line.c_str());
    }
    return kExitOk;
}

// Every command on one camera opens it; whether it streams is each command's own choice.
int RunOnDevice(const Options& options) {
    DemoCamera camera;  // outlives the library
    if (options.simUsb) {
        std::string uri;
        if (!camera.StartUsb(kSimUsbSerial, uri, TK5U)) {
            return Fail(kExitFailure, "the simulated USB camera could not be set up");
        }
        std::printf("plugged in a simulated USB TK5U camera %s at %s\n", kSimUsbSerial,
                    uri.c_str());
    }
    Library library;
    if (library.Status() != NsStatusOk) {
        return Fail(kExitFailure, "could not initialise the library: %s",
                    StatusText(library.Status()).c_str());
    }
    if (std::string error;
        options.command == Command::kSnapshot && !CheckWritableFolder(options.outDir, error)) {
        return Fail(kExitFailure, "%s; choose another --out", error.c_str());
    }
    Session session;
    if (const int code = session.Open(options.uri, options.session, options.waitSeconds);
        code != kExitOk) {
        return code;
    }
    switch (options.command) {
        case Command::kInfo:
            return RunInfo(session);
        case Command::kGet:
            return options.filter ? RunFilter(session, *options.filter, std::nullopt)
                                  : RunGet(session, options.setting);
        case Command::kSet:
            return options.filter ? RunFilter(session, *options.filter, options.value != 0)
                                  : RunSet(session, *options.setting, options.value);
        case Command::kUpgrade:
            return RunUpgrade(session, options.image);
        case Command::kConfig:
            return RunConfig(session, options);
        case Command::kRecord:
            return RunRecord(session, options);
        case Command::kView:
            if (const int code = session.Stream(); code != kExitOk) {
                return code;
            }
            return RunViewer(session.Handle(), session.Index(),
                             ViewOptions{options.port, options.seconds}, g_interrupted);
        default:
            break;
    }
    if (options.command == Command::kStream && options.map) {
        MapEverything(session);
    }
    for (const HostFilter filter : options.filters) {
        if (const NsReturnStatus s = WriteFilter(session.Handle(), session.Index(), filter, true);
            s != NsStatusOk) {
            return Fail(kExitFailure, "%s could not be turned on: %s", InfoOf(filter).name,
                        StatusText(s).c_str());
        }
    }
    if (const int code = session.Stream(); code != kExitOk) {
        return code;
    }
    if (options.command == Command::kStream) {
        return StreamFrames(session, options.frames, options.seconds);
    }
    if (std::find(options.filters.begin(), options.filters.end(), HostFilter::kTime) !=
        options.filters.end()) {
        SettleTimeFilter(session);
    }
    return Snapshot(session, options.outDir);
}

int RunDemo(const Options& options) {
    if (std::string error; !CheckWritableFolder(options.outDir, error)) {
        return Fail(kExitFailure, "%s; choose another --out", error.c_str());
    }
    DemoCamera camera;  // outlives the library, so the camera never vanishes mid-stream
    std::string name = kDemoSerial;
    if (options.usb) {
        if (!camera.StartUsb(kDemoSerial, name, TK2A)) {
            return Fail(kExitFailure, "the simulated USB camera could not be set up");
        }
        std::printf("plugged in a simulated USB TK2A camera %s at %s\n", kDemoSerial, name.c_str());
    } else {
        std::printf("starting a simulated TK5P camera %s on %s\n", kDemoSerial,
                    options.address.c_str());
        if (!camera.Start(options.address, kDemoSerial)) {
            return Fail(kExitFailure,
                        "the simulated camera could not start on %s (address or ports in use, "
                        "for example by quorix-camsim?)",
                        options.address.c_str());
        }
    }
    Library library;
    if (library.Status() != NsStatusOk) {
        return Fail(kExitFailure, "could not initialise the library: %s",
                    StatusText(library.Status()).c_str());
    }
    Session session;
    if (const int code = session.Start(name, 0, options.waitSeconds); code != kExitOk) {
        return code;
    }
    PrintDevices(DeviceList());
    // Depth and IR, so the snapshot shows every image the camera can give.
    constexpr uint8_t kDepthAndIr = 2;
    if (const NsReturnStatus s = Ns2_SetDataMode(session.Handle(), session.Index(), kDepthAndIr);
        s != NsStatusOk) {
        std::printf("data mode %u (depth and IR) was not set: %s\n", kDepthAndIr,
                    StatusText(s).c_str());
    }
    std::printf("streaming for %.1f s...\n", options.seconds);
    if (const int code = StreamFrames(session, 0, options.seconds); code != kExitOk) {
        return code;
    }
    if (g_interrupted) {
        return Fail(kExitInterrupted, "interrupted");
    }
    std::printf("taking a snapshot into %s\n", options.outDir.c_str());
    return Snapshot(session, options.outDir);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> code = ParseOptions(argc, argv, options)) {
        return *code;
    }
    CatchInterrupts();
    switch (options.command) {
        case Command::kList:
            return RunList(options);
        case Command::kDemo:
            return RunDemo(options);
        case Command::kInfo:
            return IsRecordingPath(options.uri) ? RunRecordingInfo(options.uri)
                                                : RunOnDevice(options);
        default:
            return RunOnDevice(options);
    }
}
