// usb_capture_bench: host CPU per frame of the USB capture path against the network path,
// for the same raw content (the simulator's data frame: RAW12 depth and IR, MJPEG colour),
// measured in one run. The network path is SocketCtl reading data frames from a loopback
// connection; the USB path is DXCtl over the stand-in capture driver (its fill of the
// mmap buffers stands for the camera's DMA and is not counted), its capture thread taking
// each sample and ReadData copying it out. Both add the same decode (BareDecode), so the
// totals compare what a frame costs the host either way.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "BareDecode.h"
#include "platform/fake/FakeVideo.h"
#include "sim/FrameBuilder.h"
#include "sim/SimState.h"
#include "transport/DXCtl.h"
#include "transport/SocketCtl.h"

namespace quorix::bench {
namespace {

constexpr uint32_t kFrames = 300;

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

std::vector<uint8_t> DataFrame() {
    sim::SimState state = sim::MakeDefaultState(210, "127.0.0.2", "QXBENCH", 1);
    state.sensors[0].dataMode = 2;
    state.stream.packing = sim::TofPacking::kRaw12;
    state.stream.colour = sim::ColourFormat::kMjpeg;
    sim::FrameBuilder builder;
    return builder.Build(sim::CaptureOf(state, 0), 1, nullptr, nullptr);
}

int Listener(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 2) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

// Host CPU ms per frame of SocketCtl::ReadData (the reading thread: its receive copies).
double NetworkPerFrame(const std::vector<uint8_t>& frame) {
    uint16_t commandPort = 0;
    uint16_t dataPort = 0;
    const int commandListener = Listener(commandPort);
    const int dataListener = Listener(dataPort);
    if (commandListener < 0 || dataListener < 0) {
        return -1;
    }
    std::atomic<bool> run{true};
    std::thread camera([&] {
        const int command = accept(commandListener, nullptr, nullptr);
        const int data = accept(dataListener, nullptr, nullptr);
        while (run.load() && data >= 0) {
            if (send(data, frame.data(), frame.size(), MSG_NOSIGNAL) < 0) {
                break;
            }
        }
        close(data);
        close(command);
    });
    SocketCtl ctl(0x0100007F, dataPort, commandPort);
    double perFrame = -1;
    if (ctl.openDevice() == 0) {
        std::vector<uint8_t> buffer(frame.size() + 64);
        uint32_t got = 0;
        const double start = ThreadCpuMs();
        for (uint32_t i = 0; i < kFrames;) {
            uint32_t length = static_cast<uint32_t>(buffer.size());
            if (ctl.ReadData(buffer.data(), length) == 1) {
                ++i;
                ++got;
            }
        }
        perFrame = (ThreadCpuMs() - start) / got;
    }
    run = false;
    ctl.CloseDevice();
    camera.join();
    close(commandListener);
    close(dataListener);
    return perFrame;
}

// Host CPU ms per frame of the USB path: the whole process's CPU over the run, less the
// stand-in driver's own thread (the camera's DMA on a real machine).
double UsbPerFrame(const std::vector<uint8_t>& frame) {
    const std::vector<uint8_t> sample(frame.begin() + 8, frame.end());
    platform::FakeVideoKernel kernel;
    platform::SetVideoKernelForTesting(&kernel);
    platform::FakeVideoNode::Config config;
    config.formats = {{platform::kFourCCMjpeg, 1920, 1080, 4u << 20}};
    auto node = std::make_shared<platform::FakeVideoNode>(config);
    kernel.Add("/dev/video0", node);
    DXCtl ctl("/dev/video0");
    double perFrame = -1;
    if (ctl.Open({1920, 1080, "/dev/video0", 0}) == 0 && ctl.StartStream() == 0) {
        std::atomic<bool> run{true};
        std::atomic<uint32_t> taken{0};
        std::atomic<double> driverMs{0};
        std::thread driver([&] {
            const double start = ThreadCpuMs();
            uint32_t delivered = 0;
            while (run.load()) {
                // The next sample once the host took the last one, as a camera paces them.
                if (delivered == taken.load() && node->Deliver(sample.data(), sample.size())) {
                    ++delivered;
                }
                std::this_thread::yield();
            }
            driverMs = ThreadCpuMs() - start;
        });
        std::vector<uint8_t> buffer(sample.size() + 64);
        uint32_t got = 0;
        const double start = ProcessCpuMs();
        while (got < kFrames) {
            uint32_t length = static_cast<uint32_t>(buffer.size());
            if (ctl.ReadData(buffer.data(), length) == 0 && length == sample.size()) {
                ++got;
                taken = got;
            }
        }
        const double total = ProcessCpuMs() - start;
        run = false;
        driver.join();
        perFrame = (total - driverMs.load()) / got;
    }
    ctl.CloseDevice();
    platform::SetVideoKernelForTesting(nullptr);
    return perFrame;
}

}  // namespace
}  // namespace quorix::bench

int main() {
    using namespace quorix::bench;
    const std::vector<uint8_t> frame = DataFrame();
    BareCosts costs;
    std::string error;
    if (!MeasureBareDecode(100, 640, 360, costs, error)) {
        std::fprintf(stderr, "decode: %s\n", error.c_str());
        return 1;
    }
    const double network = NetworkPerFrame(frame);
    const double usb = UsbPerFrame(frame);
    if (network < 0 || usb < 0) {
        std::fprintf(stderr, "a capture path could not be set up\n");
        return 1;
    }
    const double decode = costs.BarePerSetMs();
    const double networkTotal = network + decode;
    const double usbTotal = usb + decode;
    std::printf("data frame: %zu bytes, %u frames per path\n", frame.size(), kFrames);
    std::printf("decode per frame set:          %8.3f ms CPU\n", decode);
    std::printf("network transport per frame:   %8.3f ms CPU (total %.3f)\n", network,
                networkTotal);
    std::printf("USB transport per frame:       %8.3f ms CPU (total %.3f)\n", usb, usbTotal);
    const double extra = (usbTotal - networkTotal) / networkTotal * 100.0;
    std::printf("USB over network:              %+8.1f %% CPU per frame (limit +10 %%)\n", extra);
    return extra <= 10.0 ? 0 : 2;
}
