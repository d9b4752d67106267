// The live viewer's frame loop and HTTP server.
#include "cli/Viewer.h"

#include <httplib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>
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

enum PanelKind {
    kDepthPanel,
    kIrPanel,
    kColourPanel,
    kColourOnDepthPanel,
    kDepthOnColourPanel,
    kIrOnColourPanel,
    kPanelCount
};
// The names the page and the URLs use, in the order of the kinds (the stream sends the index).
constexpr const char* kPanelNames[kPanelCount] = {
    "depth", "ir", "colour", "colour-on-depth", "depth-on-colour", "ir-on-colour"};

// One compressed image of a panel and its size.
struct PanelImage {
    std::string jpeg;
    uint64_t seq = 0;
    uint16_t width = 0;
    uint16_t height = 0;
};

// The newest image of every panel. The frame loop stores a set's images and then shows them
// together, so that a page draws a set at once; readers ask for images newer than those they
// have, so a slow page skips images instead of queueing them.
class Panels {
public:
    void Store(PanelKind kind, std::vector<uint8_t>& jpeg, int width, int height) {
        std::lock_guard guard(m_lock);
        Slot& slot = m_slots[kind];
        slot.jpeg.swap(jpeg);
        slot.width = static_cast<uint16_t>(width);
        slot.height = static_cast<uint16_t>(height);
        slot.seq = ++m_stored;
    }
    void Show() {
        {
            std::lock_guard guard(m_lock);
            m_shown = m_stored;
        }
        m_signal.notify_all();
    }
    void Close() {
        {
            std::lock_guard guard(m_lock);
            m_closed = true;
        }
        m_signal.notify_all();
    }
    // The image of `kind` if one newer than `after` is shown within `wait`.
    bool Newer(PanelKind kind, uint64_t after, std::chrono::milliseconds wait, PanelImage& out) {
        std::unique_lock lock(m_lock);
        const Slot& slot = m_slots[kind];
        if (!m_signal.wait_for(lock, wait, [&] { return m_closed || Visible(slot, after); }) ||
            !Visible(slot, after)) {
            return false;
        }
        Copy(slot, out);
        return true;
    }
    // Every image newer than `sent` (per panel, updated), waiting up to `wait` for one.
    std::vector<std::pair<PanelKind, PanelImage>> NewerAny(std::array<uint64_t, kPanelCount>& sent,
                                                           std::chrono::milliseconds wait) {
        std::vector<std::pair<PanelKind, PanelImage>> out;
        std::unique_lock lock(m_lock);
        auto any = [&] {
            for (int k = 0; k < kPanelCount; ++k) {
                if (Visible(m_slots[k], sent[k])) {
                    return true;
                }
            }
            return false;
        };
        m_signal.wait_for(lock, wait, [&] { return m_closed || any(); });
        for (int k = 0; k < kPanelCount; ++k) {
            if (Visible(m_slots[k], sent[k])) {
                out.emplace_back(static_cast<PanelKind>(k), PanelImage{});
                Copy(m_slots[k], out.back().second);
                sent[k] = m_slots[k].seq;
            }
        }
        return out;
    }
    bool Closed() {
        std::lock_guard guard(m_lock);
        return m_closed;
    }

private:
    struct Slot {
        std::vector<uint8_t> jpeg;
        uint16_t width = 0;
        uint16_t height = 0;
        uint64_t seq = 0;
    };
    bool Visible(const Slot& slot, uint64_t after) const {
        return slot.seq > after && slot.seq <= m_shown && !slot.jpeg.empty();
    }
    static void Copy(const Slot& slot, PanelImage& out) {
        out.jpeg.assign(slot.jpeg.begin(), slot.jpeg.end());
        out.seq = slot.seq;
        out.width = slot.width;
        out.height = slot.height;
    }

    std::mutex m_lock;
    std::condition_variable m_signal;
    std::array<Slot, kPanelCount> m_slots;
    uint64_t m_stored = 0;
    uint64_t m_shown = 0;
    bool m_closed = false;
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
    Panels panels;
    std::mutex lock;  // guards what follows
    std::vector<float> points;
    std::string status = "{}";
    double pageFps = 0;
};

// Colourised depth (16 bits per pixel) as JPEG.
void PublishDepth(const NsFrame& f, Encoder& encoder, std::vector<uint8_t>& rgb,
                  std::vector<uint8_t>& jpeg, Panels& panels, PanelKind kind) {
    const size_t n = static_cast<size_t>(f.width) * f.height;
    const auto* depth = static_cast<const uint16_t*>(f.pFrameData);
    rgb.resize(n * 3);
    ColouriseDepth(depth, n, FindDepthSpan(depth, n), rgb.data());
    if (encoder.Encode(rgb.data(), f.width, f.height, false, jpeg)) {
        panels.Store(kind, jpeg, f.width, f.height);
    }
}

// IR of 16 or 8 bits per pixel as a grey JPEG.
void PublishIr(const NsFrame& f, Encoder& encoder, std::vector<uint8_t>& grey,
               std::vector<uint8_t>& jpeg, Panels& panels, PanelKind kind) {
    const size_t n = static_cast<size_t>(f.width) * f.height;
    const auto* pixels = static_cast<const uint8_t*>(f.pFrameData);
    if (f.dataLen / 2 >= n) {
        grey.resize(n);
        ScaleIrTo8Bit(reinterpret_cast<const uint16_t*>(pixels), n, grey.data());
        pixels = grey.data();
    }
    if (encoder.Encode(pixels, f.width, f.height, true, jpeg)) {
        panels.Store(kind, jpeg, f.width, f.height);
    }
}

// Colour as JPEG, at half size beyond 1280 pixels wide.
void PublishColour(const NsFrame& f, Encoder& encoder, std::vector<uint8_t>& rgb,
                   std::vector<uint8_t>& half, std::vector<uint8_t>& jpeg, Panels& panels,
                   PanelKind kind) {
    const size_t n = static_cast<size_t>(f.width) * f.height;
    rgb.resize(n * 3);
    if (!ColourToRgb(static_cast<const uint8_t*>(f.pFrameData), n, f.pixelFormat, rgb.data())) {
        return;
    }
    const bool large = f.width > 1280;
    if (large) {
        HalveRgb(rgb.data(), f.width, f.height, half);
    }
    const int width = large ? f.width / 2 : f.width;
    const int height = large ? f.height / 2 : f.height;
    if (encoder.Encode(large ? half.data() : rgb.data(), width, height, false, jpeg)) {
        panels.Store(kind, jpeg, width, height);
    }
}

void Serve(httplib::Server& server, Shared& shared, NsDeviceHandle handle, uint32_t session) {
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(ViewerPage(), "text/html; charset=utf-8");
    });
    // One image: the newest of a panel after `after` (a long poll of up to `wait` ms).
    server.Get(R"(/frame/([a-z-]+))", [&](const httplib::Request& req, httplib::Response& res) {
        const auto* name = std::find(std::begin(kPanelNames), std::end(kPanelNames),
                                     std::string_view(req.matches[1].str()));
        if (name == std::end(kPanelNames)) {
            res.status = 404;
            return;
        }
        uint32_t after = 0;
        uint32_t wait = 1000;
        if (req.has_param("after")) {
            ParseUnsigned(req.get_param_value("after"), 0, UINT32_MAX, after);
        }
        if (req.has_param("wait")) {
            ParseUnsigned(req.get_param_value("wait"), 0, 2000, wait);
        }
        PanelImage image;
        const auto kind = static_cast<PanelKind>(name - std::begin(kPanelNames));
        if (!shared.panels.Newer(kind, after, std::chrono::milliseconds(wait), image)) {
            res.status = 204;
            return;
        }
        res.set_header("X-Seq", std::to_string(image.seq));
        res.set_header("X-Width", std::to_string(image.width));
        res.set_header("X-Height", std::to_string(image.height));
        res.set_header("Cache-Control", "no-store");
        res.set_content(std::move(image.jpeg), "image/jpeg");
    });
    // Every panel's images on one response that stays open: per image a 12-byte header
    // (panel index, 0, width and height as 16-bit little-endian, 0, 0, JPEG length as
    // 32-bit little-endian) and the JPEG. One connection instead of a request per image
    // and panel saves the browser most of its work per frame.
    server.Get("/stream", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        auto sent = std::make_shared<std::array<uint64_t, kPanelCount>>();
        res.set_chunked_content_provider(
            "application/octet-stream", [&shared, sent](size_t, httplib::DataSink& sink) {
                if (shared.panels.Closed()) {
                    return false;
                }
                for (auto& [kind, image] :
                     shared.panels.NewerAny(*sent, std::chrono::milliseconds(500))) {
                    const auto length = static_cast<uint32_t>(image.jpeg.size());
                    const uint8_t header[12] = {static_cast<uint8_t>(kind),
                                                0,
                                                static_cast<uint8_t>(image.width),
                                                static_cast<uint8_t>(image.width >> 8),
                                                static_cast<uint8_t>(image.height),
                                                static_cast<uint8_t>(image.height >> 8),
                                                0,
                                                0,
                                                static_cast<uint8_t>(length),
                                                static_cast<uint8_t>(length >> 8),
                                                static_cast<uint8_t>(length >> 16),
                                                static_cast<uint8_t>(length >> 24)};
                    image.jpeg.insert(0, reinterpret_cast<const char*>(header), sizeof header);
                    if (!sink.write(image.jpeg.data(), image.jpeg.size())) {
                        return false;
                    }
                }
                return true;
            });
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
            PublishDepth(f, encoder, rgb, jpeg, shared.panels, kDepthPanel);
            // Every fifth set: every third pixel of every third row, as points (34 000 of
            // VGA depth: a browser drawing WebGL in software spends about half a
            // microsecond on each, every time the cloud changes or turns).
            if (stats.FrameSets() % 5 == 1) {
                const size_t n = static_cast<size_t>(f.width) * f.height;
                world.resize(n);
                if (Ns2_ConvertDepthFrameToWorldVector(handle, session, &f, world.data()) ==
                    NsStatusOk) {
                    std::vector<float> points;
                    for (size_t y = 0; y < f.height; y += 3) {
                        for (size_t x = 0; x < f.width; x += 3) {
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
            PublishIr(f, encoder, grey, jpeg, shared.panels, kIrPanel);
        }
        if (fetch(NsFrameReadyRGB, RGBFrame, 3)) {
            PublishColour(f, encoder, rgb, half, jpeg, shared.panels, kColourPanel);
        }
        if (fetch(NsFrameReadyMappedRGB, MappedRGBFrame, 3)) {
            PublishColour(f, encoder, rgb, half, jpeg, shared.panels, kColourOnDepthPanel);
        }
        if (fetch(NsFrameReadyMappedDepth, MappedDepthFrame, 2)) {
            PublishDepth(f, encoder, rgb, jpeg, shared.panels, kDepthOnColourPanel);
        }
        // Mapped IR is 8 bits in IR output mode 2, 16 otherwise.
        if (fetch(NsFrameReadyMappedIR, MappedIRFrame, 1)) {
            PublishIr(f, encoder, grey, jpeg, shared.panels, kIrOnColourPanel);
        }
        shared.panels.Show();
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
    shared.panels.Close();
    server.stop();
    http.join();
    std::printf("%s", stats.Summary(NowMs()).c_str());
    return 0;
}

}  // namespace quorix::cli
