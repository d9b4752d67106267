// Parsing of the quorix-cli command line.
#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

namespace quorix::cli {

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app{"Finds, streams and captures Quorix depth cameras."};
    app.require_subcommand(1);
    // Validators see the text before conversion, so these also refuse "-1" for unsigned
    // values (which would otherwise wrap round).
    const CLI::Range seconds(0.0, 1e6);
    const CLI::Range count(0.0, 1e15);
    const CLI::Range index(0.0, 255.0);

    CLI::App* list = app.add_subcommand("list", "list the cameras found by discovery");
    list->add_option("--wait", options.waitSeconds, "seconds to listen for cameras (default 2)")
        ->check(seconds);

    // stream and snapshot look the camera up the same way.
    double deviceWait = 5.0;
    auto addDevice = [&](CLI::App* command) {
        command->add_option("uri", options.uri, "URI or alias of the camera")->required();
        command->add_option("--session", options.session, "sensor (session) index, default 0")
            ->check(index);
        command
            ->add_option("--wait", deviceWait,
                         "longest wait in seconds for the camera to appear (default 5)")
            ->check(seconds);
    };
    CLI::App* stream = app.add_subcommand("stream", "stream frames and show their statistics");
    addDevice(stream);
    stream->add_option("--frames", options.frames, "stop after this many frame sets")->check(count);
    stream->add_option("--seconds", options.seconds, "stop after this many seconds")
        ->check(seconds);

    CLI::App* snapshot = app.add_subcommand("snapshot", "write one frame set as PNG images");
    addDevice(snapshot);
    snapshot->add_option("--out", options.outDir, "folder for the images")->required();

    CLI::App* demo = app.add_subcommand(
        "demo", "run a simulated camera in this process, stream it and take a snapshot");
    std::string demoOut = "quorix-demo";
    double demoSeconds = 3.0;
    demo->add_option("--out", demoOut, "folder for the images (default ./quorix-demo)");
    demo->add_option("--seconds", demoSeconds, "seconds to stream (default 3)")->check(seconds);
    demo->add_option("--address", options.address,
                     "loopback address of the simulated camera (default 127.0.0.2)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (list->parsed()) {
        options.command = Command::kList;
    } else if (stream->parsed() || snapshot->parsed()) {
        options.command = stream->parsed() ? Command::kStream : Command::kSnapshot;
        options.waitSeconds = deviceWait;
    } else {
        options.command = Command::kDemo;
        options.outDir = demoOut;
        options.seconds = demoSeconds;
        options.waitSeconds = deviceWait;
    }
    return std::nullopt;
}

}  // namespace quorix::cli
