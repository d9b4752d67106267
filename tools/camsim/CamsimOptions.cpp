// Parsing of the quorix-camsim command line.
#include "camsim/CamsimOptions.h"

#include <arpa/inet.h>
#include <CLI/CLI.hpp>
#include <cstdio>
#include <map>

#include "sim/SimWire.h"

namespace quorix::camsim {

std::string NextAddress(const std::string& address, uint32_t steps) {
    in_addr addr{};
    if (inet_pton(AF_INET, address.c_str(), &addr) != 1) {
        return {};
    }
    const uint64_t next = static_cast<uint64_t>(ntohl(addr.s_addr)) + steps;
    if ((next >> 24) != 127) {
        return {};
    }
    addr.s_addr = htonl(static_cast<uint32_t>(next));
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &addr, text, sizeof(text)) != nullptr ? text : "";
}

namespace {

// The k-th value of a repeated option, else the last one given, else `fallback`.
template <typename T>
T Pick(const std::vector<T>& values, size_t k, const T& fallback) {
    if (values.empty()) {
        return fallback;
    }
    return k < values.size() ? values[k] : values.back();
}

// "WxH" into width and height; false when it is not one.
bool ParseSize(const std::string& text, uint16_t& width, uint16_t& height) {
    unsigned w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 65535 ||
        h > 65535) {
        return false;
    }
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    return true;
}

// The names of the stream choices on the command line.
template <typename T>
using Names = std::map<std::string, T>;
const Names<sim::TofPacking> kPackings{{"raw12", sim::TofPacking::kRaw12},
                                       {"raw12-separate", sim::TofPacking::kRaw12Separate},
                                       {"msb12", sim::TofPacking::kMsb12},
                                       {"y16", sim::TofPacking::kY16}};
const Names<sim::ColourFormat> kColours{{"mjpeg", sim::ColourFormat::kMjpeg},
                                        {"mjpeg-untyped", sim::ColourFormat::kMjpegUntyped},
                                        {"nv12", sim::ColourFormat::kNv12},
                                        {"none", sim::ColourFormat::kNone}};
const Names<sim::StatusEcho> kEchoes{{"off", sim::StatusEcho::kOff},
                                     {"prompt", sim::StatusEcho::kPrompt},
                                     {"late", sim::StatusEcho::kLate},
                                     {"never", sim::StatusEcho::kNever}};
const Names<sim::ParamPush> kPushes{{"prompt", sim::ParamPush::kPrompt},
                                    {"late", sim::ParamPush::kLate},
                                    {"never", sim::ParamPush::kNever}};

template <typename T>
std::vector<std::string> Keys(const Names<T>& names) {
    std::vector<std::string> keys;
    for (const auto& entry : names) {
        keys.push_back(entry.first);
    }
    return keys;
}

// The stream options as given; the choices are checked by CLI11 and mapped after parsing.
struct StreamText {
    std::string packing = "raw12";
    std::string colour = "mjpeg";
    std::string colourSize;
    std::string status = "prompt";
    std::string push = "prompt";
};

void AddStreamOptions(CLI::App& app, StreamSetup& stream, StreamText& text) {
    sim::StreamSettings& s = stream.settings;
    app.add_option("--fps", stream.frameRate, "ToF frame rate of every sensor")
        ->check(CLI::Range(1u, 120u));
    app.add_option("--data-mode", stream.dataMode,
                   "data mode: 0 depth, 1 IR, 2 depth and IR, 10, 11-13 WDR");
    app.add_option("--packing", text.packing, "depth and IR packing")
        ->check(CLI::IsMember(Keys(kPackings)));
    app.add_option("--colour", text.colour, "colour format")->check(CLI::IsMember(Keys(kColours)));
    app.add_option("--colour-size", text.colourSize,
                   "colour size WxH (1920x1080 '1', 1280x720 '2', 640x360 '3', 640x480 '4')");
    app.add_option("--exposure", s.exposure, "exposure value sent with typed colour frames");
    app.add_option("--status", text.status, "device status blocks")
        ->check(CLI::IsMember(Keys(kEchoes)));
    app.add_option("--status-late-frames", s.statusLateFrames, "captures a late status lags")
        ->check(CLI::Range(1u, sim::kMaxStatusLateFrames));
    app.add_option("--push", text.push, "pushed parameter block")
        ->check(CLI::IsMember(Keys(kPushes)));
    app.add_option("--push-late-ms", s.pushLateMs, "delay of a late parameter block")
        ->check(CLI::Range(0u, 60000u));
    app.add_option("--push-frames", s.pushFrames, "frames that carry the parameter block")
        ->check(CLI::Range(1u, 1000u));
    app.add_flag("!--no-push-support", stream.pushSupported,
                 "answer that the camera cannot push its parameters");
    app.add_flag("--noise", s.noise.enabled,
                 "add sensor noise to depth and IR: Gaussian noise growing with distance, "
                 "flying pixels at depth steps, dropouts (the same for the same seed)");
    app.add_option("--noise-seed", s.noise.seed, "seed of the noise's draw");
}

}  // namespace

void ApplyStream(const StreamSetup& stream, sim::SimState& state) {
    state.stream = stream.settings;
    for (sim::SensorState& sensor : state.sensors) {
        sensor.tofFrameRate = static_cast<uint8_t>(stream.frameRate);
        sensor.dataMode = stream.dataMode;
        sensor.jsonConfigSupported = stream.pushSupported;
        auto& lens = sensor.lens[2];
        lens[0] = 2;
        lens[1] = 1;
        sim::PutU16(lens.data() + 2, stream.colourWidth);
        sim::PutU16(lens.data() + 4, stream.colourHeight);
    }
}

namespace {

// The per-camera options as given: one entry per camera, the last one repeated or
// numbered for cameras beyond them.
struct CameraLists {
    std::vector<std::string> addresses;
    std::vector<std::string> models;
    std::vector<std::string> serials;
    std::vector<uint32_t> sessions;
    std::vector<std::string> aliases;
    uint32_t count = 0;
    std::string announceHost = "127.0.0.1";
    uint16_t announcePort = 9007;
    bool farewell = true;
    std::string transferFolder;
};

std::string SerialOf(const std::vector<std::string>& serials, size_t k) {
    if (k < serials.size()) {
        return serials[k];
    }
    if (!serials.empty()) {
        return serials.back() + "_" + std::to_string(k + 1);
    }
    char serial[32];
    std::snprintf(serial, sizeof(serial), "QXSIM%04zu", k + 1);
    return serial;
}

// One setup per camera; 2 (with a message) when a camera has no address or model.
int BuildCameras(const CameraLists& lists, Options& options) {
    const size_t cameras = std::max<size_t>({lists.count, lists.addresses.size(), 1});
    // Cameras beyond the addresses given take the addresses after the last one.
    const std::string lastAddress = lists.addresses.empty() ? "127.0.0.2" : lists.addresses.back();
    const size_t lastIndex = lists.addresses.empty() ? 0 : lists.addresses.size() - 1;
    for (size_t k = 0; k < cameras; ++k) {
        CameraSetup setup;
        sim::SimConfig& c = setup.config;
        c.address = k < lists.addresses.size()
                        ? lists.addresses[k]
                        : NextAddress(lastAddress, static_cast<uint32_t>(k - lastIndex));
        if (c.address.empty()) {
            std::fprintf(stderr, "no loopback address for camera %zu\n", k + 1);
            return 2;
        }
        const std::string model = Pick<std::string>(lists.models, k, "561");
        const sim::ModelInfo* info = sim::ParseModel(model);
        if (info == nullptr) {
            std::fprintf(stderr, "unknown model %s (network models: 440 442 561 562 563)\n",
                         model.c_str());
            return 2;
        }
        c.deviceType = info->deviceType;
        c.serial = SerialOf(lists.serials, k);
        c.sessions = Pick<uint32_t>(lists.sessions, k, 1);
        c.announceHost = lists.announceHost;
        c.announcePort = lists.announcePort;
        c.farewellOnStop = lists.farewell;
        c.transferFolder = lists.transferFolder;
        setup.alias = k < lists.aliases.size() ? lists.aliases[k] : "";
        options.cameras.push_back(std::move(setup));
    }
    return 0;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app{"Runs simulated Quorix network cameras on loopback addresses until interrupted."};
    CameraLists lists;
    app.add_option("--address", lists.addresses, "loopback address of a camera (127.0.0.N, N >= 2)")
        ->take_all();
    app.add_option("--model", lists.models, "model name (TK5P) or device type (561) of a camera");
    app.add_option("--serial", lists.serials, "serial number of a camera");
    app.add_option("--sessions", lists.sessions, "sensor count of a camera")
        ->check(CLI::Range(1u, sim::kMaxSessions));
    app.add_option("--alias", lists.aliases, "alias of a camera (announced)");
    app.add_option("--count", lists.count, "number of cameras; extra ones take the next addresses")
        ->check(CLI::Range(1u, 64u));
    app.add_option("--interval", options.intervalMs, "milliseconds between announcements")
        ->check(CLI::Range(10u, 60000u));
    app.add_option("--state", options.cameraState, "announced camera state (0 ready .. 4)");
    app.add_option("--announce-host", lists.announceHost, "where announcements go");
    app.add_option("--announce-port", lists.announcePort, "UDP port of the announcements");
    app.add_flag("!--no-farewell", lists.farewell, "do not announce state 2 when stopping");
    app.add_flag("-v,--verbose", options.verbose, "print the simulator's log");
    app.add_option("--transfer-folder", lists.transferFolder,
                   "folder the cameras fetch firmware images and JSON files from (the host's "
                   "share); without it an upgrade waits for a file it never gets")
        ->check(CLI::ExistingDirectory);
    app.add_option("--faults", options.faultIntervalMs,
                   "misbehave at random, one fault every this many milliseconds on average "
                   "(0: never)")
        ->check(CLI::Range(0u, 3600000u));
    app.add_option("--fault-seed", options.faultSeed, "seed of the faults' draw");
    auto* replay = app.add_option("--replay", options.replay.file,
                                  "play this recording (of quorix-cli record) back as the camera "
                                  "it recorded; model, serial and stream come from the file");
    app.add_flag("--loop", options.replay.loop, "with --replay: start over after the last frame")
        ->needs(replay);
    app.add_option("--rate", options.replay.rate,
                   "with --replay: speed of the replay (2: twice as fast; default 1)")
        ->check(CLI::Range(0.01, 100.0))
        ->needs(replay);
    app.add_flag("--step", options.replay.step,
                 "with --replay: send one frame per Enter on standard input")
        ->needs(replay);
    StreamText streamText;
    AddStreamOptions(app, options.stream, streamText);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (!streamText.colourSize.empty() &&
        !ParseSize(streamText.colourSize, options.stream.colourWidth,
                   options.stream.colourHeight)) {
        std::fprintf(stderr, "--colour-size %s is not WxH\n", streamText.colourSize.c_str());
        return 2;
    }
    options.stream.settings.packing = kPackings.at(streamText.packing);
    options.stream.settings.colour = kColours.at(streamText.colour);
    options.stream.settings.status = kEchoes.at(streamText.status);
    options.stream.settings.push = kPushes.at(streamText.push);
    if (!options.replay.file.empty() &&
        (lists.count > 1 || lists.addresses.size() > 1 || !lists.models.empty() ||
         !lists.serials.empty() || !lists.sessions.empty())) {
        std::fprintf(stderr,
                     "--replay runs one camera, the recorded one: give only its --address\n");
        return 2;
    }
    return BuildCameras(lists, options);
}

}  // namespace quorix::camsim
