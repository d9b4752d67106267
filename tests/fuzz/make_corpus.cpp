// Writes the seed corpus of every fuzz target from the simulated camera's own builders
// (announcements, command replies, data frames, raw packings, colour images, status and
// parameter blocks) and the example ini files. Usage: fuzz_make_corpus CORPUS_DIR INI_DIR
// (tests/fuzz/corpus and Config/examples); each target's folder is written afresh.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ReplyPeer.h"
#include "model/ModelTraits.h"
#include "protocol/Commands.h"
#include "protocol/DeviceStatus.h"
#include "protocol/InitParams.h"
#include "record/Recording.h"
#include "sim/Announcement.h"
#include "sim/ColourImage.h"
#include "sim/CommandHandler.h"
#include "sim/FrameBuilder.h"
#include "sim/RawPacking.h"
#include "sim/SimWire.h"

namespace quorix::fuzz {
size_t CommandReplyOperationCount();
void RunCommandReplyOperation(ReplyPeer& peer, size_t op, uint8_t arg,
                              const ReplyPeer::Answer& answer);
}  // namespace quorix::fuzz

using namespace quorix;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

namespace {

fs::path g_root;

class Folder {
public:
    explicit Folder(const std::string& target) : m_path(g_root / target) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    void Write(const std::string& name, const Bytes& bytes) {
        std::ofstream out(m_path / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ++m_count;
    }
    ~Folder() { std::printf("%-14s %zu seeds\n", m_path.filename().c_str(), m_count); }

private:
    fs::path m_path;
    size_t m_count = 0;
};

void AppendChunk(Bytes& out, const Bytes& piece) {
    out.push_back(static_cast<uint8_t>(piece.size()));
    out.push_back(static_cast<uint8_t>(piece.size() >> 8));
    out.insert(out.end(), piece.begin(), piece.end());
}

Bytes Cat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

sim::SimState Camera(uint32_t deviceType, const std::string& serial) {
    return sim::MakeDefaultState(deviceType, "127.0.0.2", serial, 1);
}

void Announcements() {
    Folder f("announcement");
    uint32_t n = 0;
    auto write = [&](std::vector<sim::Announcement> list) {
        Bytes input;
        for (const auto& a : list) {
            AppendChunk(input, sim::EncodeAnnouncement(a));
        }
        f.Write("seed-" + std::to_string(n++), input);
    };
    for (const sim::ModelInfo& model : sim::kModels) {
        sim::SimState s = Camera(model.deviceType, std::string("QX") + model.name);
        s.alias = model.deviceType % 2 == 0 ? "kitchen" : "";
        write({sim::MakeAnnouncement(s)});
    }
    sim::SimState s = Camera(561, "QX1");
    sim::Announcement a = sim::MakeAnnouncement(s);
    std::vector<sim::Announcement> states;
    for (uint8_t state = 0; state <= 5; ++state) {
        a.cameraState = state;
        states.push_back(a);
    }
    write(states);  // one camera going through its states
    sim::Announcement other = a;
    other.cameraState = 0;
    other.sn = std::string(30, 'S');  // a serial that fills its field
    other.alias = std::string(20, 'A');
    other.ip = "255.255.255.255";
    other.tof = 4;
    other.rgb = 2;
    write({a, other, a});
    other.ip = "999999999999.1";  // numbers past a byte
    other.datagramLength = 1024;
    write({other});
    other.datagramLength = 88;  // one byte short
    write({other});
    other.datagramLength = 89;
    other.kindCode = 0;  // no model
    write({other});
}

void CommandReplies() {
    Folder f("command_reply");
    fuzz::ReplyPeer peer;
    for (size_t op = 0; op < fuzz::CommandReplyOperationCount(); ++op) {
        for (uint8_t arg : {uint8_t{1}, uint8_t{2}}) {
            sim::SimState state = Camera(561, "QXCMD");
            sim::PendingReads pending;
            // A small plane-correction block to read back: 40 entries, three frames.
            Bytes block(160);
            for (size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<uint8_t>(i * 7);
            }
            std::vector<cmd::Command> sets = {cmd::PlaneHeader(7, 160)};
            for (uint32_t k = 1; k <= 3; ++k) {
                const size_t at = (k - 1) * cmd::kPlanePiece;
                sets.push_back(cmd::PlaneData(k, block.data() + at,
                                              std::min<size_t>(cmd::kPlanePiece, 160 - at)));
            }
            for (const cmd::Command& c : sets) {
                sim::HandleCommand(state, 0, pending, c.id, c.data.data(), c.requestLength);
            }
            Bytes input{static_cast<uint8_t>(op), arg};
            fuzz::RunCommandReplyOperation(
                peer, op, arg,
                [&](uint8_t command, const uint8_t* payload,
                    size_t length) -> std::optional<std::vector<uint8_t>> {
                    const sim::CommandOutcome out =
                        sim::HandleCommand(state, 0, pending, command, payload, length);
                    if ((command & 0x80) == 0) {
                        return Bytes{};
                    }
                    if (!out.reply) {
                        return std::nullopt;
                    }
                    Bytes reply = sim::EncodeReply(command, out.payload.data(), out.payload.size());
                    AppendChunk(input, reply);
                    return reply;
                });
            f.Write("op" + std::to_string(op) + "-" + std::to_string(arg), input);
        }
    }
    // Framing faults around a good reply of the first operation (a threshold).
    const Bytes good = sim::EncodeReply(0x82, Bytes{0x01, 0x2C, 0x01}.data(), 3);
    Bytes other = sim::EncodeReply(0x83, Bytes{0x03, 0x01}.data(), 2);
    Bytes input{0, 0};
    AppendChunk(input, Cat(Cat(other, other), good));  // stale replies first
    f.Write("framing-stale", input);
    Bytes cut = good;
    cut.resize(good.size() - 2);
    input = {0, 0};
    AppendChunk(input, cut);
    f.Write("framing-cut", input);
    Bytes huge = good;
    huge[4] = 0xFF;
    huge[5] = 0xFF;
    input = {0, 0};
    AppendChunk(input, huge);
    f.Write("framing-length", input);
}

// Sub-packets of a data frame, in the frame walk's expanded form: each payload's first
// `keep` bytes (whole when it is no longer) stand for it.
Bytes Expanded(uint8_t flags, const Bytes& frame, size_t keep) {
    Bytes input{flags};
    const uint8_t* payload = frame.data() + sim::kFrameHeaderBytes;
    const size_t size = frame.size() - sim::kFrameHeaderBytes;
    for (const sim::SubPacket& p : sim::ListSubPackets(payload, size)) {
        input.push_back(p.type);
        input.push_back(static_cast<uint8_t>(p.length));
        input.push_back(static_cast<uint8_t>(p.length >> 8));
        input.push_back(static_cast<uint8_t>(p.length >> 16));
        input.push_back(p.range);
        const size_t n = p.length <= 3000 ? p.length : keep;
        AppendChunk(input, Bytes(payload + p.offset, payload + p.offset + n));
    }
    return input;
}

void Frames() {
    Folder f("frame_walk");
    sim::FrameBuilder builder;
    sim::SimState state = Camera(561, "QXFRAME");
    const DeviceStatus status = sim::StatusOf(state.sensors[0], 7);
    const Bytes push = EncodeInitParams(sim::PushOf(state, 0));
    const sim::TofPacking packings[] = {sim::TofPacking::kRaw12, sim::TofPacking::kRaw12Separate,
                                        sim::TofPacking::kMsb12, sim::TofPacking::kY16};
    uint32_t n = 0;
    for (sim::TofPacking packing : packings) {
        for (uint8_t mode : {uint8_t{0}, uint8_t{1}, uint8_t{2}, uint8_t{11}}) {
            sim::Capture capture = sim::CaptureOf(state, 0);
            capture.settings.packing = packing;
            capture.settings.colour = sim::ColourFormat::kMjpegUntyped;
            capture.colourWidth = 64;
            capture.colourHeight = 48;
            capture.dataMode = mode;
            const bool withBlocks = mode == 2;
            const Bytes& frame = builder.Build(capture, n, withBlocks ? &status : nullptr,
                                               withBlocks ? &push : nullptr);
            const uint8_t flags = static_cast<uint8_t>(4 | (n & 1));  // both models
            f.Write("frame-" + std::to_string(n), Expanded(flags, frame, 48));
            ++n;
        }
    }
    // Raw buffers as they come, small enough to keep whole: a status block and a pushed
    // block alone, and a depth header whose length runs past the buffer.
    Bytes raw{0};
    raw.push_back(sim::kStatusType);
    const Bytes record = EncodeDeviceStatus(status);
    raw.push_back(static_cast<uint8_t>(record.size()));
    raw.push_back(0);
    raw.insert(raw.end(), record.begin(), record.end());
    f.Write("raw-status", raw);
    raw = {0,
           sim::kPushType,
           static_cast<uint8_t>(push.size()),
           static_cast<uint8_t>(push.size() >> 8),
           0,
           0};
    raw.insert(raw.end(), push.begin(), push.end());
    f.Write("raw-push", raw);
    f.Write("raw-overrun", Bytes{0, 0x21, 0x00, 0x08, 0x07, 0x00, 1, 2, 3});
}

// A row of 12-bit codes: a ramp over the depth range.
std::vector<uint16_t> Codes(size_t pixels) {
    std::vector<uint16_t> codes(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        codes[i] = static_cast<uint16_t>(100 + i * 37 % 3900);
    }
    return codes;
}

Bytes Packed(sim::PixelPacking packing, size_t pixels) {
    const std::vector<uint16_t> codes = Codes(pixels);
    Bytes out(sim::PackedBytes(packing, pixels));
    sim::PackPixels(packing, codes.data(), pixels, out.data());
    return out;
}

void Tof() {
    const sim::PixelPacking packings[] = {sim::PixelPacking::kRaw12, sim::PixelPacking::kMsb12,
                                          sim::PixelPacking::kY16};
    {
        Folder f("tof_decode");
        for (uint8_t row = 0; row < 40; ++row) {
            const uint8_t flags = static_cast<uint8_t>((row % 4) << 1);  // data modes in turn
            const Bytes head{flags, static_cast<uint8_t>(row % 9), static_cast<uint8_t>(row % 4),
                             row, static_cast<uint8_t>(row % 9)};
            f.Write("row-" + std::to_string(row), Cat(head, Packed(packings[row % 3], 64)));
        }
        // Limits of a camera's own ranges, then a record that ends inside its payload.
        sim::SimState state = Camera(561, "QXTOF");
        Bytes limits{8, 1, 0, 0, 0, 0};  // bit 3: a group's limits follow (group byte 0)
        for (const uint16_t v : state.sensors[0].measuringRanges[0]) {
            limits.push_back(static_cast<uint8_t>(v));
            limits.push_back(static_cast<uint8_t>(v >> 8));
        }
        limits.resize(5 + 19 + 19, 0);  // offsets of 0
        f.Write("limits", Cat(limits, Packed(sim::PixelPacking::kRaw12, 64)));
        f.Write("record-cut", Cat(Bytes{1, 0, 3, 0, 0, 0x21, 0x00, 0x08, 0x07, 0},
                                  Packed(sim::PixelPacking::kRaw12, 64)));
    }
    {
        Folder f("tof_unpack");
        for (uint8_t which = 0; which < 5; ++which) {
            for (uint16_t size :
                 {uint16_t{640}, uint16_t{0x8000 | 0x2000 | 642}, uint16_t{0x4000 | 3}}) {
                Bytes input{which,
                            static_cast<uint8_t>(size),
                            static_cast<uint8_t>(size >> 8),
                            0x00,
                            0x10,
                            0xDC,
                            0x0B,
                            0x64,
                            0x00,
                            0x00,
                            0x00};  // 4096, 3036, 100
                f.Write("fn" + std::to_string(which) + "-" + std::to_string(size),
                        Cat(input, Packed(packings[size % 3], 96)));
            }
        }
    }
}

void Blocks() {
    Folder f("stream_blocks");
    sim::SimState state = Camera(561, "QXBLOCKS");
    f.Write("push", Cat({0}, EncodeInitParams(sim::PushOf(state, 0))));
    PushedParameters p = sim::PushOf(state, 0);
    p.serialNumber = std::string(70, 'N');  // longer than its block takes
    f.Write("push-long-text", Cat({0}, EncodeInitParams(p)));
    for (uint32_t frame : {0u, 1000u}) {
        Bytes record = EncodeDeviceStatus(sim::StatusOf(state.sensors[0], frame));
        f.Write("status-" + std::to_string(frame), Cat({1}, record));
        record.resize(18);
        f.Write("status-short-" + std::to_string(frame), Cat({1}, record));
    }
    // A plane block stored on the camera, then its header and first data frame as read.
    sim::PendingReads pending;
    Bytes block(120, 0x5A);
    for (const cmd::Command& c : {cmd::PlaneHeader(3, 120), cmd::PlaneData(1, block.data(), 56)}) {
        sim::HandleCommand(state, 0, pending, c.id, c.data.data(), c.requestLength);
    }
    for (uint32_t index : {0u, 1u}) {
        for (const cmd::Command& c : {cmd::PlaneRequest(index, cmd::Direction::Set),
                                      cmd::PlaneRequest(index, cmd::Direction::Get)}) {
            const uint8_t command = static_cast<uint8_t>(c.id | (c.IsGet() ? 0x80 : 0));
            const sim::CommandOutcome out =
                sim::HandleCommand(state, 0, pending, command, c.data.data(), c.requestLength);
            if (out.reply) {
                const Bytes head{2, static_cast<uint8_t>(out.payload.size()), 56};
                f.Write("plane-" + std::to_string(index), Cat(head, out.payload));
            }
        }
    }
}

void Ini(const fs::path& examples) {
    Folder f("ini");
    std::vector<const ModelTraits*> withFiles;
    for (const ModelTraits& model : Models()) {
        if (model.iniFile != nullptr) {
            withFiles.push_back(&model);
        }
    }
    for (size_t i = 0; i < withFiles.size(); ++i) {
        std::ifstream in(examples / withFiles[i]->iniFile, std::ios::binary);
        if (!in) {
            continue;
        }
        const Bytes text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        f.Write(withFiles[i]->iniFile,
                Cat({static_cast<uint8_t>(i), static_cast<uint8_t>(i % 3)}, text));
    }
    const std::string odd =
        "[settings]\r\nDeviceType = 561\r\nSessionCount=1\n[session1]\nValidRange=1,,2,-3,"
        "99999999999,4,5,6,7,8,9,10\nValidOutMode=\nDepthRange=-2147483649\n[unclosed\n= \n";
    f.Write("odd", Cat({0, 0}, Bytes(odd.begin(), odd.end())));
}

void Colour() {
    Folder f("colour");
    const auto jpeg = sim::MjpegTestImage(64, 48);
    if (!jpeg) {
        std::fprintf(stderr, "no test image\n");
        return;
    }
    const Bytes image(jpeg->begin(), jpeg->end());
    for (uint8_t flags : {uint8_t{0x00}, uint8_t{0x10}, uint8_t{0x04}, uint8_t{0x09}}) {
        f.Write("jpeg-" + std::to_string(flags), Cat({flags, sim::kColourUntypedMjpeg}, image));
    }
    // Typed as another size; cut in half; cut before its end marker; bytes flipped.
    f.Write("jpeg-typed", Cat({0x00, '3'}, image));
    f.Write("jpeg-half", Cat({0x00, sim::kColourUntypedMjpeg},
                             Bytes(image.begin(), image.begin() + image.size() / 2)));
    f.Write("jpeg-no-end",
            Cat({0x00, sim::kColourUntypedMjpeg}, Bytes(image.begin(), image.end() - 2)));
    Bytes flipped = image;
    for (size_t i = 20; i < flipped.size(); i += 97) {
        flipped[i] ^= 0xFF;
    }
    f.Write("jpeg-flipped", Cat({0x00, sim::kColourUntypedMjpeg}, flipped));
    f.Write("nv12-short", Cat({0x02, sim::kColourNv12}, Bytes(image.begin(), image.begin() + 64)));
    // Conversions: NV12 and YUYV of the test image's first bytes, even and odd sizes.
    const std::vector<uint8_t> rgb = sim::TestImage(16, 8);
    for (uint8_t flags : {uint8_t{0x80}, uint8_t{0x81}, uint8_t{0x82}, uint8_t{0x83}}) {
        for (uint16_t w : {uint16_t{16}, uint16_t{15}}) {
            const Bytes head{flags, static_cast<uint8_t>(w), 0, 8, 0};
            f.Write("convert-" + std::to_string(flags) + "-" + std::to_string(w),
                    Cat(head, Bytes(rgb.begin(), rgb.begin() + 192)));
        }
    }
}

// Small recordings: a whole one (state, frames, a setting change, the end), the same cut
// inside a frame, and one of a camera with two sensors replaying the second.
void Recordings() {
    Folder folder("recording");
    auto chunk = [](Bytes& out, uint32_t type, const Bytes& payload) {
        const Bytes c = record::EncodeChunk(type, payload.data(), payload.size());
        out.insert(out.end(), c.begin(), c.end());
    };
    auto file = [&](const std::string& state, int frames) {
        Bytes out = record::EncodeFileHeader();
        chunk(out, record::kStateChunk, Bytes(state.begin(), state.end()));
        for (int i = 0; i < frames; ++i) {
            Bytes payload(8, 0);
            payload[1] = static_cast<uint8_t>(i * 100);  // the receive time, ns
            const Bytes body = {0x21, static_cast<uint8_t>(i), 1, 2, 3, 4};
            const auto header = sim::EncodeDataHeader(static_cast<uint32_t>(body.size()));
            payload.insert(payload.end(), header.begin(), header.end());
            payload.insert(payload.end(), body.begin(), body.end());
            chunk(out, record::kDataChunk, payload);
            if (i == 1) {
                Bytes setting(8, 0);
                const std::string text = "depth-range=4";
                setting.insert(setting.end(), text.begin(), text.end());
                chunk(out, record::kSettingChunk, setting);
            }
        }
        return out;
    };
    const std::string state =
        "uri=TK5P:QX1\ndevice-type=561\nsessions=1\nsession=0\nserial=QX1\n"
        "firmware=20240115_V45\ndepth-range=2\ndata-mode=2\nthreshold=12\n"
        "pulse-count=2000\nframe-rate=30\ndata-modes=0 1 2 10\ndepth-ranges=0 1 2 3\n"
        "colour-lens=0201800268011e02\nmeasuring-range.0=00380700000000000000000000000000000000\n"
        "camera-parameters.0=520.5 0 319.5 0 521.25 239.5 0 0 1\n";
    Bytes whole = file(state, 3);
    Bytes end(32, 0);
    end[8] = 3;
    chunk(whole, record::kEndChunk, end);
    folder.Write("whole", whole);
    const Bytes cut = file(state, 3);
    folder.Write("cut", Bytes(cut.begin(), cut.end() - 7));
    folder.Write("two_sensors",
                 file("device-type=562\nsessions=2\nsession=1\nserial=QX2\ndata-mode=0\n", 1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR INI_EXAMPLES_DIR\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    Announcements();
    CommandReplies();
    Frames();
    Tof();
    Blocks();
    Ini(argv[2]);
    Colour();
    Recordings();
    return 0;
}
