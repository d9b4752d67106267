// Parsing of the quorix-cli command line.
#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <vector>

namespace quorix::cli {

namespace {

// What the command line gives before it is known which command it is for.
struct Pending {
    double deviceWait = 5.0;
    std::string settingName;
    std::string settingValue;
    std::string demoOut = "quorix-demo";
    double demoSeconds = 3.0;
    std::vector<std::string> filterNames;
};

std::vector<std::string> FilterNames() {
    std::vector<std::string> names;
    for (const FilterInfo& f : AllFilters()) {
        names.emplace_back(f.name);
    }
    return names;
}

struct Subcommands {
    CLI::App* list = nullptr;
    CLI::App* stream = nullptr;
    CLI::App* snapshot = nullptr;
    CLI::App* info = nullptr;
    CLI::App* get = nullptr;
    CLI::App* set = nullptr;
    CLI::App* demo = nullptr;
    CLI::App* upgrade = nullptr;
    CLI::App* config = nullptr;
    CLI::App* record = nullptr;
    CLI::App* view = nullptr;
};

// Validators see the text before conversion, so these also refuse "-1" for unsigned values
// (which would otherwise wrap round).
const CLI::Range kSeconds(0.0, 1e6);
const CLI::Range kCount(0.0, 1e15);
const CLI::Range kIndex(0.0, 255.0);

// Every command that addresses one camera looks it up the same way.
void AddDevice(CLI::App* command, Options& options, Pending& pending) {
    command->add_option("uri", options.uri, "URI or alias of the camera")->required();
    command->add_option("--session", options.session, "sensor (session) index, default 0")
        ->check(kIndex);
    command
        ->add_option("--wait", pending.deviceWait,
                     "longest wait in seconds for the camera to appear (default 5)")
        ->check(kSeconds);
}

// Settings: info and get read, set writes. The settings that the camera confirms are
// confirmed only while it streams, so set (and info, whose calibration and ranges the
// library reads at the first start) start the stream; get only asks the camera.
void AddSettingCommands(CLI::App& app, Subcommands& sub, Options& options, Pending& pending) {
    sub.info = app.add_subcommand(
        "info", "print the camera's identity, calibration, ranges, lists and settings");
    AddDevice(sub.info, options, pending);
    sub.info->footer(
        "Starts the stream briefly: the library reads the camera's calibration and\n"
        "ranges when the stream first starts. A value the camera cannot give prints\n"
        "as unavailable with its status code. Given the path of a recording instead of\n"
        "a URI, summarises the recording.");

    std::vector<std::string> names;
    for (const SettingInfo& s : AllSettings()) {
        names.emplace_back(s.name);
    }
    const std::vector<std::string> filterNames = FilterNames();
    names.insert(names.end(), filterNames.begin(), filterNames.end());
    sub.get = app.add_subcommand("get", "print one setting, or all of them");
    AddDevice(sub.get, options, pending);
    sub.get->add_option("name", pending.settingName, "the setting; all of them when left out")
        ->check(CLI::IsMember(names));
    sub.get->footer(SettingsHelp() + "\nReads the camera without starting the stream.\n\n" +
                    FiltersHelp());

    sub.set = app.add_subcommand("set", "change a setting and print the camera's value");
    AddDevice(sub.set, options, pending);
    sub.set->add_option("name", pending.settingName, "the setting")
        ->required()
        ->check(CLI::IsMember(names));
    sub.set->add_option("value", pending.settingValue, "its new value")->required();
    sub.set->footer(
        SettingsHelp() + "\n" +
        "Starts the stream first: depth range, data mode, threshold, pulse count and\n"
        "colour resolution are awaited until the camera shows them in its stream\n"
        "(status -105 when it does not), and depth ranges and data modes are checked\n"
        "against the camera's lists read at that start. A refused or failed set prints\n"
        "the status code and ends with exit code 1.\n\n" +
        FiltersHelp());
}

// Maintenance: firmware upgrade and JSON configuration transfer.
void AddTransferCommands(CLI::App& app, Subcommands& sub, Options& options, Pending& pending) {
    sub.upgrade = app.add_subcommand("upgrade", "write a firmware image to the camera");
    AddDevice(sub.upgrade, options, pending);
    sub.upgrade->add_option("image", options.image, "the firmware image file")
        ->required()
        ->check(CLI::ExistingFile);
    sub.upgrade->footer(
        "Checks the image against the camera (model, date and build not older than the\n"
        "installed firmware), switches the camera into upgrade mode, shows the progress\n"
        "and waits for the camera to come back with its new firmware. The camera fetches\n"
        "the image by its file name from this computer; a USB camera restarts as its\n"
        "upgrade-mode device with a drive, and the image is copied onto that drive.");

    sub.config = app.add_subcommand("config", "transfer the camera's JSON configuration");
    AddDevice(sub.config, options, pending);
    auto* fetch = sub.config->add_option("--fetch", options.fetchFile,
                                         "write the camera's current JSON file here");
    auto* send = sub.config->add_option("--send", options.sendFile, "send this JSON file")
                     ->check(CLI::ExistingFile);
    fetch->excludes(send);
    for (CLI::App* command : {sub.upgrade, sub.config}) {
        command->add_flag("--sim-usb", options.simUsb,
                          "plug a simulated USB TK5U camera (serial QXUSBSIM) into this "
                          "process first; name it as the camera");
    }
}

// The command that was parsed, and what its pending values mean for it.
void TakeCommand(const Subcommands& sub, const Pending& pending, Options& options) {
    if (sub.list->parsed()) {
        options.command = Command::kList;
        return;
    }
    options.waitSeconds = pending.deviceWait;
    if (sub.demo->parsed()) {
        options.command = Command::kDemo;
        options.outDir = pending.demoOut;
        options.seconds = pending.demoSeconds;
        return;
    }
    if (sub.upgrade->parsed() || sub.config->parsed()) {
        options.command = sub.upgrade->parsed() ? Command::kUpgrade : Command::kConfig;
        return;
    }
    options.command = sub.stream->parsed()     ? Command::kStream
                      : sub.snapshot->parsed() ? Command::kSnapshot
                      : sub.info->parsed()     ? Command::kInfo
                      : sub.get->parsed()      ? Command::kGet
                      : sub.record->parsed()   ? Command::kRecord
                      : sub.view->parsed()     ? Command::kView
                                               : Command::kSet;
}

}  // namespace

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options) {
    CLI::App app{
        "Finds, streams and captures Quorix depth cameras, and reads and changes their "
        "settings."};
    app.require_subcommand(1);
    Pending pending;
    Subcommands sub;

    sub.list = app.add_subcommand("list", "list the cameras found by discovery");
    sub.list->add_option("--wait", options.waitSeconds, "seconds to listen for cameras (default 2)")
        ->check(kSeconds);

    sub.stream = app.add_subcommand("stream", "stream frames and show their statistics");
    AddDevice(sub.stream, options, pending);
    sub.stream->add_option("--frames", options.frames, "stop after this many frame sets")
        ->check(kCount);
    sub.stream->add_option("--seconds", options.seconds, "stop after this many seconds")
        ->check(kSeconds);
    sub.stream->add_flag("--map", options.map,
                         "map depth and colour onto each other (colour on depth, depth and IR "
                         "on colour) and count the mapped frames");

    sub.snapshot = app.add_subcommand("snapshot", "write one frame set as PNG images");
    AddDevice(sub.snapshot, options, pending);
    sub.snapshot->add_option("--out", options.outDir, "folder for the images")->required();
    for (CLI::App* command : {sub.stream, sub.snapshot}) {
        command
            ->add_option("--filter", pending.filterNames,
                         "turn on a filter of the library (repeat for several); with "
                         "time-filter a snapshot waits for the average to settle")
            ->check(CLI::IsMember(FilterNames()));
        command->footer(FiltersHelp());
    }

    AddSettingCommands(app, sub, options, pending);
    AddTransferCommands(app, sub, options, pending);

    sub.record = app.add_subcommand(
        "record",
        "record the camera's data stream and state into a file for quorix-camsim --replay");
    AddDevice(sub.record, options, pending);
    sub.record->add_option("--out", options.outDir, "the recording file")->required();
    sub.record->add_option("--seconds", options.seconds, "stop after this many seconds")
        ->check(kSeconds);
    sub.record->add_option("--frames", options.frames, "stop after this many data frames")
        ->check(kCount);
    sub.record->footer(
        "Runs until --seconds or --frames or Ctrl-C. The file is written as it goes, in\n"
        "chunks with checksums: a recording cut short (a crash, a full disk) replays up\n"
        "to its last whole chunk. `quorix-cli info FILE` summarises it.");

    sub.view = app.add_subcommand(
        "view", "show the camera live in a browser: depth, IR, colour, point cloud, settings");
    sub.view->add_option("uri", options.uri,
                         "URI or alias of the camera; the first one found "
                         "when left out");
    sub.view->add_option("--session", options.session, "sensor (session) index, default 0")
        ->check(kIndex);
    sub.view
        ->add_option("--wait", pending.deviceWait,
                     "longest wait in seconds for the camera to appear (default 5)")
        ->check(kSeconds);
    sub.view->add_option("--port", options.port, "HTTP port on 127.0.0.1 (default 8080)")
        ->check(CLI::Range(1, 65535));
    sub.view->add_option("--seconds", options.seconds, "stop after this many seconds")
        ->check(kSeconds);
    sub.view->footer("Open the printed address in a browser on this machine.");

    sub.demo = app.add_subcommand(
        "demo", "run a simulated camera in this process, stream it and take a snapshot");
    sub.demo->add_option("--out", pending.demoOut, "folder for the images (default ./quorix-demo)");
    sub.demo->add_option("--seconds", pending.demoSeconds, "seconds to stream (default 3)")
        ->check(kSeconds);
    sub.demo->add_option("--address", options.address,
                         "loopback address of the simulated camera (default 127.0.0.2)");
    sub.demo->add_flag("--usb", options.usb,
                       "a simulated USB camera, found through the library's USB enumeration");

    try {
        app.parse(argc, argv);
        if (!pending.settingName.empty()) {
            options.setting = FindSetting(pending.settingName);
            options.filter = FindFilter(pending.settingName);
        }
        for (const std::string& name : pending.filterNames) {
            options.filters.push_back(*FindFilter(name));
        }
        if (sub.config->parsed() && options.fetchFile.empty() && options.sendFile.empty()) {
            throw CLI::RequiredError("--fetch FILE or --send FILE");
        }
        std::string error;
        if (sub.set->parsed() && options.filter) {
            bool on = false;
            if (!ParseSwitch(pending.settingName, pending.settingValue, on, error)) {
                throw CLI::ValidationError("value", error);
            }
            options.value = on ? 1 : 0;
        } else if (sub.set->parsed() && !ParseSettingValue(*options.setting, pending.settingValue,
                                                           options.value, error)) {
            throw CLI::ValidationError("value", error);
        }
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    TakeCommand(sub, pending, options);
    return std::nullopt;
}

}  // namespace quorix::cli
