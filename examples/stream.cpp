// Streams a few frame sets from a camera and saves one point cloud, with quorix.hpp.
// Usage: stream_cpp [URI [PLY]]   as stream.c: the first camera found for no URI or "-",
//                                 the points of the last depth frame to PLY (points.ply)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <quorix/quorix.hpp>

namespace {

// Binary little-endian PLY of float x y z in mm.
bool SavePly(const char* path, const std::vector<NsVector3f>& points) {
    std::ofstream out(path, std::ios::binary);
    out << "ply\nformat binary_little_endian 1.0\nelement vertex " << points.size()
        << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    for (const NsVector3f& p : points) {
        for (const float v : {p.x, p.y, p.z}) {
            uint32_t bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            const char bytes[4] = {char(bits), char(bits >> 8), char(bits >> 16), char(bits >> 24)};
            out.write(bytes, sizeof bytes);
        }
    }
    return bool(out.flush());
}

}  // namespace

int main(int argc, char** argv) try {
    const std::string uri = argc > 1 && std::string(argv[1]) != "-" ? argv[1] : "";
    const char* ply = argc > 2 ? argv[2] : "points.ply";

    quorix::Library library;
    const auto found = library.wait_for(uri, std::chrono::seconds(5));
    if (!found) {
        std::fprintf(stderr, "%s within 5 s\n",
                     uri.empty() ? "no camera found" : ("camera " + uri + " not found").c_str());
        const NsDiscoveryState discovery = library.discovery_state();
        if (discovery.status == NsDiscoveryFailed) {
            std::fprintf(stderr, "network discovery failed: %s\n", discovery.message);
        } else {
            std::fprintf(stderr,
                         "connect a camera, or start the simulator in another terminal:\n"
                         "  quorix-camsim --address 127.0.0.2 --model TK5P --serial QX1\n");
        }
        return 1;
    }
    quorix::Device camera = quorix::Device::open(found->uri);
    std::printf("opened %s\n", found->uri.c_str());
    quorix::Session session = camera.session(0);
    quorix::Stream stream = session.stream();

    std::vector<NsVector3f> points;
    for (int sets = 0, reads = 0; sets < 10; ++reads) {
        if (reads == 100) {
            std::fprintf(stderr, "only %d sets with depth in %d reads\n", sets, reads);
            return 1;
        }
        const quorix::Result<quorix::FrameSet> frames = session.try_read();
        if (frames.timed_out() || (frames && !frames->depth())) {
            continue;
        }
        const quorix::Frame& depth = frames.value().depth();  // throws what failed
        std::printf("frame %u", depth.index());
        if (const auto t = depth.time()) {
            std::printf(" at %02u:%02u:%02u.%03u", t->hour, t->minute, t->second, t->millisecond);
        }
        if (const auto mm = depth.depth_at(depth.width() / 2u, depth.height() / 2u)) {
            std::printf(": centre %u mm\n", *mm);
        } else {
            std::printf(": no depth at the centre\n");
        }
        if (++sets == 10) {
            points = session.points(depth);  // before the next read replaces the frame
        }
    }
    if (!SavePly(ply, points)) {
        std::perror(ply);
        return 1;
    }
    std::printf("%zu points written to %s\n", points.size(), ply);
    return 0;
} catch (const quorix::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
}
