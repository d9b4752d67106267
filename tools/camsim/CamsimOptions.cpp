// Parsing of the quorix-camsim command line.
#include "camsim/CamsimOptions.h"

#include <CLI/CLI.hpp>
#include <arpa/inet.h>
#include <cstdio>

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

}  // namespace

int ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app{"Runs simulated Quorix network cameras on loopback addresses until interrupted."};
    std::vector<std::string> addresses;
    std::vector<std::string> models;
    std::vector<std::string> serials;
    std::vector<uint32_t> sessions;
    std::vector<std::string> aliases;
    uint32_t count = 0;
    std::string announceHost = "127.0.0.1";
    uint16_t announcePort = 9007;
    bool farewell = true;
    app.add_option("--address", addresses, "loopback address of a camera (127.0.0.N, N >= 2)")
        ->take_all();
    app.add_option("--model", models, "model name (TK5P) or device type (561) of a camera");
    app.add_option("--serial", serials, "serial number of a camera");
    app.add_option("--sessions", sessions, "sensor count of a camera")
        ->check(CLI::Range(1u, sim::kMaxSessions));
    app.add_option("--alias", aliases, "alias of a camera (announced)");
    app.add_option("--count", count, "number of cameras; extra ones take the next addresses")
        ->check(CLI::Range(1u, 64u));
    app.add_option("--interval", options.intervalMs, "milliseconds between announcements")
        ->check(CLI::Range(10u, 60000u));
    app.add_option("--state", options.cameraState, "announced camera state (0 ready .. 4)");
    app.add_option("--announce-host", announceHost, "where announcements go");
    app.add_option("--announce-port", announcePort, "UDP port of the announcements");
    app.add_flag("!--no-farewell", farewell, "do not announce state 2 when stopping");
    app.add_flag("-v,--verbose", options.verbose, "print the simulator's log");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    const size_t cameras = std::max<size_t>({count, addresses.size(), 1});
    // Cameras beyond the addresses given take the addresses after the last one.
    const std::string lastAddress = addresses.empty() ? "127.0.0.2" : addresses.back();
    const size_t lastIndex = addresses.empty() ? 0 : addresses.size() - 1;
    for (size_t k = 0; k < cameras; ++k) {
        CameraSetup setup;
        sim::SimConfig& c = setup.config;
        c.address = k < addresses.size()
                        ? addresses[k]
                        : NextAddress(lastAddress, static_cast<uint32_t>(k - lastIndex));
        if (c.address.empty()) {
            std::fprintf(stderr, "no loopback address for camera %zu\n", k + 1);
            return 2;
        }
        const std::string model = Pick<std::string>(models, k, "561");
        const sim::ModelInfo* info = sim::ParseModel(model);
        if (info == nullptr) {
            std::fprintf(stderr, "unknown model %s (network models: 440 442 561 562 563)\n",
                         model.c_str());
            return 2;
        }
        c.deviceType = info->deviceType;
        if (k < serials.size()) {
            c.serial = serials[k];
        } else if (serials.empty()) {
            char serial[32];
            std::snprintf(serial, sizeof(serial), "QXSIM%04zu", k + 1);
            c.serial = serial;
        } else {
            c.serial = serials.back() + "_" + std::to_string(k + 1);
        }
        c.sessions = Pick<uint32_t>(sessions, k, 1);
        c.announceHost = announceHost;
        c.announcePort = announcePort;
        c.farewellOnStop = farewell;
        setup.alias = k < aliases.size() ? aliases[k] : "";
        options.cameras.push_back(std::move(setup));
    }
    return 0;
}

}  // namespace quorix::camsim
