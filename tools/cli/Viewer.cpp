// The live viewer's frame loop and HTTP server.
#include "cli/Viewer.h"

#include <httplib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/CameraQueries.h"
#include "cli/Diagnosis.h"
#include "cli/FrameClock.h"
#include "cli/ImageConvert.h"
#include "cli/Settings.h"
#include "cli/StreamStats.h"
#include "cli/ViewerControls.h"

namespace quorix::cli {
namespace {

using Clock = std::chrono::steady_clock;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// The newest image of one panel; a request waits for one newer than it has shown.
class Panel {
public:
    void Publish(std::vector<uint8_t>& jpeg) {
        {
            std::lock_guard guard(m_lock);
            m_jpeg.swap(jpeg);
            ++m_seq;
        }
        m_signal.notify_all();
    }
    // False when none newer than `after` came within `wait`.
    bool Newer(uint64_t after, std::chrono::milliseconds wait, std::string& out, uint64_t& seq) {
        std::unique_lock lock(m_lock);
        if (!m_signal.wait_for(lock, wait, [&] { return m_seq > after && !m_jpeg.empty(); })) {
            return false;
        }
        out.assign(m_jpeg.begin(), m_jpeg.end());
        seq = m_seq;
        return true;
    }
    void WakeAll() { m_signal.notify_all(); }

private:
    std::mutex m_lock;
    std::condition_variable m_signal;
    std::vector<uint8_t> m_jpeg;
    uint64_t m_seq = 0;
};

// TurboJPEG compression of R G B or grey images.
class Encoder {
public:
    Encoder() : m_handle(tjInitCompress()) {}
    ~Encoder() {
        if (m_handle != nullptr) {
            tjDestroy(m_handle);
        }
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    bool Encode(const uint8_t* pixels, int width, int height, bool grey,
                std::vector<uint8_t>& out) {
        if (m_handle == nullptr) {
            return false;
        }
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        const int format = grey ? TJPF_GRAY : TJPF_RGB;
        const int sampling = grey ? TJSAMP_GRAY : TJSAMP_420;
        if (tjCompress2(m_handle, pixels, width, 0, height, format, &jpeg, &size, sampling, 80,
                        TJFLAG_FASTDCT) != 0) {
            tjFree(jpeg);
            return false;
        }
        out.assign(jpeg, jpeg + size);
        tjFree(jpeg);
        return true;
    }

private:
    tjhandle m_handle;
};

// Halves an R G B image in both directions (2x2 mean): colour beyond 1280 pixels wide is
// shown at half size, which keeps the page at 30 fps without costing a core.
void HalveRgb(const uint8_t* in, int width, int height, std::vector<uint8_t>& out) {
    const int w = width / 2, h = height / 2;
    out.resize(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* a = in + static_cast<size_t>(2 * y) * width * 3;
        const uint8_t* b = a + static_cast<size_t>(width) * 3;
        uint8_t* o = out.data() + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int i = 6 * x + c;
                o[3 * x + c] = static_cast<uint8_t>((a[i] + a[i + 3] + b[i] + b[i + 3] + 2) / 4);
            }
        }
    }
}

struct Shared {
    Panel depth, ir, colour;
    // The mapped images, shown while their switch is on.
    Panel colourOnDepth, depthOnColour, irOnColour;
    std::mutex lock;  // guards what follows
    std::vector<float> points;
    std::string status = "{}";
    double pageFps = 0;
};

// Colourised depth (16 bits per pixel) as JPEG.
void PublishDepth(const NsFrame& f, Encoder& encoder, std::vector<uint8_t>& rgb,
                  std::vector<uint8_t>& jpeg, Panel& panel) {
    const size_t n = static_cast<size_t>(f.width) * f.height;
    const auto* depth = static_cast<const uint16_t*>(f.pFrameData);
    rgb.resize(n * 3);
    ColouriseDepth(depth, n, FindDepthSpan(depth, n), rgb.data());
    if (encoder.Encode(rgb.data(), f.width, f.height, false, jpeg)) {
        panel.Publish(jpeg);
    }
}

// IR of 16 or 8 bits per pixel as a grey JPEG.
void PublishIr(const NsFrame& f, Encoder& encoder, std::vector<uint8_t>& grey,
               std::vector<uint8_t>& jpeg, Panel& panel) {
    const size_t n = static_cast<size_t>(f.width) * f.height;
    const auto* pixels = static_cast<const uint8_t*>(f.pFrameData);
    if (f.dataLen / 2 >= n) {
        grey.resize(n);
        ScaleIrTo8Bit(reinterpret_cast<const uint16_t*>(pixels), n, grey.data());
        pixels = grey.data();
    }
    if (encoder.Encode(pixels, f.width, f.height, true, jpeg)) {
        panel.Publish(jpeg);
    }
}

// Colour as JPEG, at half size beyond 1280 pixels wide.
void PublishColour(const NsFrame& f, Encoder& encoder, std::vector<uint8_t>& rgb,
                   std::vector<uint8_t>& half, std::vector<uint8_t>& jpeg, Panel& panel) {
    const size_t n = static_cast<size_t>(f.width) * f.height;
    rgb.resize(n * 3);
    if (!ColourToRgb(static_cast<const uint8_t*>(f.pFrameData), n, f.pixelFormat, rgb.data())) {
        return;
    }
    const bool large = f.width > 1280;
    if (large) {
        HalveRgb(rgb.data(), f.width, f.height, half);
    }
    if (encoder.Encode(large ? half.data() : rgb.data(), large ? f.width / 2 : f.width,
                       large ? f.height / 2 : f.height, false, jpeg)) {
        panel.Publish(jpeg);
    }
}

void Serve(httplib::Server& server, Shared& shared, NsDeviceHandle handle, uint32_t session) {
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(ViewerPage(), "text/html; charset=utf-8");
    });
    server.Get(R"(/frame/(depth|ir|colour|colour-on-depth|depth-on-colour|ir-on-colour))",
               [&](const httplib::Request& req, httplib::Response& res) {
                   const std::string kind = req.matches[1];
                   Panel& panel = kind == "depth"             ? shared.depth
                                  : kind == "ir"              ? shared.ir
                                  : kind == "colour"          ? shared.colour
                                  : kind == "colour-on-depth" ? shared.colourOnDepth
                                  : kind == "depth-on-colour" ? shared.depthOnColour
                                                              : shared.irOnColour;
                   uint32_t after = 0;
                   if (req.has_param("after")) {
                       ParseUnsigned(req.get_param_value("after"), 0, UINT32_MAX, after);
                   }
                   // How long to wait for a newer image: a page that polls instead (a browser
                   // driven by virtual time, which stands still while a request is open) asks for
                   // 0.
                   uint32_t wait = 1000;
                   if (req.has_param("wait")) {
                       ParseUnsigned(req.get_param_value("wait"), 0, 2000, wait);
                   }
                   std::string jpeg;
                   uint64_t seq = 0;
                   if (!panel.Newer(after, std::chrono::milliseconds(wait), jpeg, seq)) {
                       res.status = 204;
                       return;
                   }
                   res.set_header("X-Seq", std::to_string(seq));
                   res.set_header("Cache-Control", "no-store");
                   res.set_content(std::move(jpeg), "image/jpeg");
               });
    server.Get("/api/status", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard guard(shared.lock);
        if (req.has_param("pagefps")) {
            shared.pageFps = std::atof(req.get_param_value("pagefps").c_str());
        }
        res.set_content(shared.status, "application/json");
    });
    server.Get("/api/points", [&](const httplib::Request&, httplib::Response& res) {
        std::lock_guard guard(shared.lock);
        res.set_content(std::string(reinterpret_cast<const char*>(shared.points.data()),
                                    shared.points.size() * sizeof(float)),
                        "application/octet-stream");
    });
    server.Get("/api/info", [=](const httplib::Request&, httplib::Response& res) {
        std::string text;
        for (const std::string& line : CameraInfoLines(handle, session, NsStatusOk)) {
            text += line + "\n";
        }
        res.set_content(text, "text/plain; charset=utf-8");
    });
    server.Get("/api/controls", [=](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(ControlsJson(handle, session), "application/json");
    });
    server.Post("/api/set", [=](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.get_param_value("name");
        const std::string value = req.get_param_value("value");
        const ControlResult r = ChangeControl(handle, session, name, value);
        std::printf("set %s %s: %s (%s)\n", name.c_str(), value.c_str(), r.ok ? "ok" : "failed",
                    r.text.c_str());
        std::fflush(stdout);
        res.set_content(std::string("{\"ok\":") + (r.ok ? "true" : "false") +
                            ",\"text\":" + JsonText(r.text) + "}",
                        "application/json");
    });
}

}  // namespace

int RunViewer(NsDeviceHandle handle, uint32_t session, const ViewOptions& options,
              const volatile std::sig_atomic_t& interrupted) {
    Shared shared;
    httplib::Server server;
    Serve(server, shared, handle, session);
    if (!server.bind_to_port("127.0.0.1", options.port)) {
        std::fprintf(stderr,
                     "quorix-cli: port %u on 127.0.0.1 is in use; choose another with --port\n",
                     options.port);
        return 1;
    }
    std::thread http([&] { server.listen_after_bind(); });
    std::printf("viewer at http://127.0.0.1:%u/ (Ctrl-C stops)\n", options.port);
    std::fflush(stdout);

    Encoder encoder;
    StreamStats stats(NowMs());
    std::vector<uint8_t> rgb, half, grey, jpeg;
    std::vector<NsVector3f> world;
    const int64_t end =
        options.seconds > 0 ? NowMs() + static_cast<int64_t>(options.seconds * 1000) : -1;
    int64_t nextLine = NowMs() + 1000;
    std::string latency = "-";
    while (!interrupted && (end < 0 || NowMs() < end)) {
        uint32_t ready = 0;
        const NsReturnStatus status = Ns2_ReadNextFrame(handle, session, &ready);
        if (status == NsStatusFrameTimeout) {
            stats.OnTimeout();
            continue;
        }
        if (status != NsStatusOk) {
            stats.OnFailure();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        stats.OnFrameSet(NowMs());
        NsFrame f{};
        // The frame of a kind in this set, whole, counted with its latency.
        auto fetch = [&](uint32_t bit, uint32_t type, size_t bytesPerPixel) {
            if ((ready & bit) == 0 || Ns2_GetFrame(handle, session, type, &f) != NsStatusOk ||
                f.pFrameData == nullptr ||
                f.dataLen / bytesPerPixel < static_cast<size_t>(f.width) * f.height) {
                return false;
            }
            const auto l = LatencyMs(f.timestamp, LocalClockNow());
            stats.OnFrame(type, l);
            if (l && type == DepthFrame) {
                latency = std::to_string(*l);
            }
            return true;
        };
        if (fetch(NsFrameReadyDepth, DepthFrame, 2)) {
            PublishDepth(f, encoder, rgb, jpeg, shared.depth);
            // Every fifth set: every second pixel of every second row, as points.
            if (stats.FrameSets() % 5 == 1) {
                const size_t n = static_cast<size_t>(f.width) * f.height;
                world.resize(n);
                if (Ns2_ConvertDepthFrameToWorldVector(handle, session, &f, world.data()) ==
                    NsStatusOk) {
                    std::vector<float> points;
                    for (size_t y = 0; y < f.height; y += 2) {
                        for (size_t x = 0; x < f.width; x += 2) {
                            const NsVector3f& p = world[y * f.width + x];
                            if (p.z > 0) {
                                points.insert(points.end(), {p.x, p.y, p.z});
                            }
                        }
                    }
                    std::lock_guard guard(shared.lock);
                    shared.points.swap(points);
                }
            }
        }
        if (fetch(NsFrameReadyIR, IRFrame, 2)) {
            PublishIr(f, encoder, grey, jpeg, shared.ir);
        }
        if (fetch(NsFrameReadyRGB, RGBFrame, 3)) {
            PublishColour(f, encoder, rgb, half, jpeg, shared.colour);
        }
        if (fetch(NsFrameReadyMappedRGB, MappedRGBFrame, 3)) {
            PublishColour(f, encoder, rgb, half, jpeg, shared.colourOnDepth);
        }
        if (fetch(NsFrameReadyMappedDepth, MappedDepthFrame, 2)) {
            PublishDepth(f, encoder, rgb, jpeg, shared.depthOnColour);
        }
        // Mapped IR is 8 bits in IR output mode 2, 16 otherwise.
        if (fetch(NsFrameReadyMappedIR, MappedIRFrame, 1)) {
            PublishIr(f, encoder, grey, jpeg, shared.irOnColour);
        }
        const int64_t now = NowMs();
        if (now >= nextLine) {
            std::string line = stats.ProgressLine(now);
            char json[256];
            double pageFps = 0;
            {
                std::lock_guard guard(shared.lock);
                pageFps = shared.pageFps;
            }
            // The camera's rate is the line's first number.
            std::snprintf(json, sizeof json,
                          "{\"fps\":%.2f,\"sets\":%llu,\"timeouts\":%llu,\"failures\":%llu,"
                          "\"latency\":%s}",
                          std::atof(line.c_str()),
                          static_cast<unsigned long long>(stats.FrameSets()),
                          static_cast<unsigned long long>(stats.Timeouts()),
                          static_cast<unsigned long long>(stats.Failures()),
                          latency == "-" ? "null" : latency.c_str());
            {
                std::lock_guard guard(shared.lock);
                shared.status = json;
            }
            std::printf("%s  page %.1f fps\n", line.c_str(), pageFps);
            std::fflush(stdout);
            nextLine = now + 1000;
        }
    }
    server.stop();
    for (Panel* panel : {&shared.depth, &shared.ir, &shared.colour, &shared.colourOnDepth,
                         &shared.depthOnColour, &shared.irOnColour}) {
        panel->WakeAll();
    }
    http.join();
    std::printf("%s", stats.Summary(NowMs()).c_str());
    return 0;
}

}  // namespace quorix::cli
