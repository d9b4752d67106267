// Parsing of the quorix-cli command line.
#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <vector>

namespace quorix::cli {

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app{
        "Finds, streams and captures Quorix depth cameras, and reads and changes their "
        "settings."};
    app.require_subcommand(1);
    // Validators see the text before conversion, so these also refuse "-1" for unsigned
    // values (which would otherwise wrap round).
    const CLI::Range seconds(0.0, 1e6);
    const CLI::Range count(0.0, 1e15);
    const CLI::Range index(0.0, 255.0);

    CLI::App* list = app.add_subcommand("list", "list the cameras found by discovery");
    list->add_option("--wait", options.waitSeconds, "seconds to listen for cameras (default 2)")
        ->check(seconds);

    // Every command that addresses one camera looks it up the same way.
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

    // Settings: info and get read, set writes. The settings that the camera confirms are
    // confirmed only while it streams, so set (and info, whose calibration and ranges the
    // library reads at the first start) start the stream; get only asks the camera.
    CLI::App* info = app.add_subcommand(
        "info", "print the camera's identity, calibration, ranges, lists and settings");
    addDevice(info);
    info->footer(
        "Starts the stream briefly: the library reads the camera's calibration and\n"
        "ranges when the stream first starts. A value the camera cannot give prints\n"
        "as unavailable with its status code.");

    std::vector<std::string> names;
    for (const SettingInfo& s : AllSettings()) {
        names.emplace_back(s.name);
    }
    std::string settingName;
    std::string settingValue;
    CLI::App* get = app.add_subcommand("get", "print one setting, or all of them");
    addDevice(get);
    get->add_option("name", settingName, "the setting; all of them when left out")
        ->check(CLI::IsMember(names));
    get->footer(SettingsHelp() + "\nReads the camera without starting the stream.");

    CLI::App* set = app.add_subcommand("set", "change a setting and print the camera's value");
    addDevice(set);
    set->add_option("name", settingName, "the setting")->required()->check(CLI::IsMember(names));
    set->add_option("value", settingValue, "its new value")->required();
    set->footer(SettingsHelp() + "\n" +
                "Starts the stream first: depth range, data mode, threshold, pulse count and\n"
                "colour resolution are awaited until the camera shows them in its stream\n"
                "(status -105 when it does not), and depth ranges and data modes are checked\n"
                "against the camera's lists read at that start. A refused or failed set prints\n"
                "the status code and ends with exit code 1.");

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
        if (!settingName.empty()) {
            options.setting = FindSetting(settingName);
        }
        std::string error;
        if (set->parsed() &&
            !ParseSettingValue(*options.setting, settingValue, options.value, error)) {
            throw CLI::ValidationError("value", error);
        }
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (list->parsed()) {
        options.command = Command::kList;
    } else if (!demo->parsed()) {
        options.command = stream->parsed()     ? Command::kStream
                          : snapshot->parsed() ? Command::kSnapshot
                          : info->parsed()     ? Command::kInfo
                          : get->parsed()      ? Command::kGet
                                               : Command::kSet;
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
