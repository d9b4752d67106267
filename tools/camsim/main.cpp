// quorix-camsim: runs simulated network cameras until SIGINT or SIGTERM.
#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <memory>

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

    std::vector<std::unique_ptr<sim::SimCamera>> cameras;
    std::vector<std::unique_ptr<sim::FaultInjector>> injectors;
    int status = 0;
    for (const camsim::CameraSetup& setup : options.cameras) {
        auto camera = std::make_unique<sim::SimCamera>(setup.config);
        camera->UpdateState([&](sim::SimState& s) {
            s.alias = setup.alias;
            s.announce.intervalMs = options.intervalMs;
            s.announce.cameraState = options.cameraState;
            camsim::ApplyStream(options.stream, s);
        });
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
    if (status == 0) {
        std::printf("running; Ctrl-C stops\n");
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
