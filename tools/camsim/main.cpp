// quorix-camsim: runs simulated network cameras until SIGINT or SIGTERM.
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "camsim/CamsimOptions.h"
#include "log/Log.h"
#include "sim/FaultInjector.h"
#include "sim/SimCamera.h"

int main(int argc, char** argv) {
    using namespace quorix;
    camsim::Options options;
    if (const int code = camsim::ParseOptions(argc, argv, options);
        code != 0 || options.cameras.empty()) {
        return code;
    }
    // The signals are taken by sigwait below; every thread started from here inherits
    // the mask, so none of them is interrupted.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (options.verbose) {
        log::Initialize(true);
    }

    // A replay: the recording, and the one camera's identity and clock from it.
    record::RecordingReader recording;
    std::unique_ptr<camsim::RecordingFrames> frames;
    sim::ReplayStreamer* replayClock = nullptr;
    sim::SimCamera* replayCamera = nullptr;
    uint32_t replaySession = 0;
    if (!options.replay.file.empty()) {
        std::string error;
        auto source = record::OpenFileSource(options.replay.file, error);
        if (!source || !recording.Open(std::move(source), error) ||
            !camsim::ReplayIdentity(recording.State(), options.cameras[0].config, replaySession,
                                    error)) {
            std::fprintf(stderr, "cannot replay %s: %s\n", options.replay.file.c_str(),
                         error.c_str());
            return 1;
        }
        if (recording.Truncated()) {
            std::printf("%s did not end cleanly: replaying its %zu whole frames\n",
                        options.replay.file.c_str(), recording.Frames().size());
        }
        frames = std::make_unique<camsim::RecordingFrames>(recording);
        sim::ReplayOptions replay;
        replay.session = replaySession;
        replay.rate = options.replay.rate;
        replay.loop = options.replay.loop;
        replay.step = options.replay.step;
        // Settings changed during the recording change at their time in the replay.
        replay.onFrame = [&recording, &replayCamera, replaySession](size_t index) {
            const uint64_t at = recording.Frames()[index].timeNs;
            const uint64_t before = index > 0 ? recording.Frames()[index - 1].timeNs : 0;
            for (const record::SettingChange& change : recording.Changes()) {
                if (change.timeNs <= at && (index == 0 || change.timeNs > before)) {
                    replayCamera->UpdateState([&](sim::SimState& s) {
                        camsim::ApplySetting(change.name, change.value, replaySession, s);
                    });
                }
            }
        };
        options.cameras[0].config.makeClock = [&, replay](sim::StreamPort& port) {
            auto clock = std::make_unique<sim::ReplayStreamer>(port, *frames, replay);
            replayClock = clock.get();
            return std::unique_ptr<sim::StreamClock>(std::move(clock));
        };
    }

    std::vector<std::unique_ptr<sim::SimCamera>> cameras;
    std::vector<std::unique_ptr<sim::FaultInjector>> injectors;
    int status = 0;
    for (const camsim::CameraSetup& setup : options.cameras) {
        auto camera = std::make_unique<sim::SimCamera>(setup.config);
        std::string skipped;
        camera->UpdateState([&](sim::SimState& s) {
            s.alias = setup.alias;
            s.announce.intervalMs = options.intervalMs;
            s.announce.cameraState = options.cameraState;
            if (frames) {
                camsim::ApplyRecordedState(recording.State(), replaySession, s, skipped);
            } else {
                camsim::ApplyStream(options.stream, s);
            }
        });
        if (!skipped.empty()) {
            std::fprintf(stderr, "recorded values left at their defaults (unreadable): %s\n",
                         skipped.c_str());
        }
        if (frames) {
            replayCamera = camera.get();
        }
        if (camera->Start() != 0) {
            std::fprintf(stderr, "camera %s on %s could not start (address or ports in use?)\n",
                         setup.config.serial.c_str(), setup.config.address.c_str());
            status = 1;
            break;
        }
        const sim::ModelInfo* model = sim::FindModel(setup.config.deviceType);
        std::printf("camera %s: %s (%u) on %s, %u session(s)\n", setup.config.serial.c_str(),
                    model != nullptr ? model->name : "?", setup.config.deviceType,
                    setup.config.address.c_str(), setup.config.sessions);
        if (options.faultIntervalMs > 0) {
            // One line per fault, so that whoever watches knows what the camera did.
            injectors.push_back(std::make_unique<sim::FaultInjector>(
                *camera, options.faultIntervalMs, options.faultSeed + cameras.size(),
                [serial = setup.config.serial](sim::InjectedFault f) {
                    std::printf("camera %s fault: %s\n", serial.c_str(), sim::FaultName(f));
                    std::fflush(stdout);
                }));
            injectors.back()->Start();
        }
        cameras.push_back(std::move(camera));
    }
    // Step mode: each line on standard input lets one recorded frame go.
    std::atomic<bool> stepping{status == 0 && replayClock != nullptr && options.replay.step};
    std::thread stepper;
    if (stepping) {
        stepper = std::thread([&] {
            char line[256];
            while (stepping) {
                pollfd in{STDIN_FILENO, POLLIN, 0};
                if (poll(&in, 1, 100) <= 0) {
                    continue;
                }
                const ssize_t n = read(STDIN_FILENO, line, sizeof line);
                if (n <= 0) {
                    return;  // end of input: no more steps
                }
                for (ssize_t i = 0; i < n; ++i) {
                    if (line[i] == '\n') {
                        replayClock->Step();
                    }
                }
            }
        });
    }
    if (status == 0) {
        if (frames) {
            std::printf("replaying %zu frames of %s%s%s; Ctrl-C stops\n", recording.Frames().size(),
                        options.replay.file.c_str(), options.replay.loop ? ", looping" : "",
                        options.replay.step ? ", one per Enter" : "");
        } else {
            std::printf("running; Ctrl-C stops\n");
        }
        std::fflush(stdout);
        int signal = 0;
        sigwait(&signals, &signal);
        std::printf("stopping on signal %d\n", signal);
    }
    for (size_t i = 0; i < injectors.size(); ++i) {
        injectors[i]->Stop();
        std::printf("camera %s faults: %s\n", cameras[i]->Config().serial.c_str(),
                    injectors[i]->Summary().c_str());
    }
    stepping = false;
    if (stepper.joinable()) {
        stepper.join();
    }
    for (auto& camera : cameras) {
        camera->Stop();
        // What each stream sent, for whoever measures the host's side (captures not sent
        // were dropped because the host had not taken the previous frame yet).
        for (uint32_t i = 0; i < camera->Config().sessions; ++i) {
            const sim::StreamStats s = camera->StreamStatistics(i);
            std::printf(
                "camera %s session %u: captures %llu sent %llu dropped %llu "
                "last index %u\n",
                camera->Config().serial.c_str(), i, static_cast<unsigned long long>(s.captures),
                static_cast<unsigned long long>(s.framesSent),
                static_cast<unsigned long long>(s.framesDropped), s.lastFrameIndex);
        }
    }
    std::fflush(stdout);
    injectors.clear();  // they reach their cameras to the end
    cameras.clear();
    if (options.verbose) {
        log::Shutdown();
    }
    return status;
}
