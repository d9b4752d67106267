// The recording container as quorix-cli writes it and quorix-camsim reads it: a round trip,
// a file cut anywhere, corrupt chunks, other versions, hostile lengths, and the writer's
// bound on memory.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "record/Recording.h"
#include "support/TempDir.h"

namespace quorix::record {
namespace {

// A data frame as the camera sends it: header (type 1, length), then `length` bytes.
std::vector<uint8_t> DataFrame(uint32_t length, uint8_t seed) {
    std::vector<uint8_t> frame(8 + length);
    frame[0] = 1;
    std::memcpy(frame.data() + 4, &length, 4);
    for (uint32_t i = 0; i < length; ++i) {
        frame[8 + i] = static_cast<uint8_t>(seed + i * 7);
    }
    return frame;
}

RecordedState SomeState() {
    RecordedState state;
    state.Set("uri", "TK5P:QX1");
    state.Set("device-type", "561");
    state.Set("camera-parameters.0", "520.5 0 319.5 0 521.25 239.5 0 0 1");
    return state;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes a recording of `count` frames through the writer; returns the frames.
std::vector<std::vector<uint8_t>> WriteRecording(const std::string& path, int count) {
    RecordingWriter writer;
    std::string error;
    EXPECT_TRUE(writer.Open(path, SomeState(), error)) << error;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(DataFrame(100 + 37 * i, static_cast<uint8_t>(i)));
        writer.AddFrame(frames.back().data(), 8, frames.back().data() + 8,
                        static_cast<uint32_t>(frames.back().size() - 8));
        if (i == 1) {
            writer.AddSetting("depth-range", "4");
        }
    }
    EXPECT_TRUE(writer.Finish(error)) << error;
    return frames;
}

::testing::AssertionResult Opens(const std::vector<uint8_t>& bytes, RecordingReader& reader,
                                 std::string& error) {
    if (reader.Open(MemorySource(bytes), error)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << error;
}

TEST(Recording, RoundTripKeepsStateFramesSettingsAndEnd) {
    test::TempDir dir;
    const auto frames = WriteRecording(dir / "r.qxrec", 5);
    std::string error;
    RecordingReader reader;
    ASSERT_TRUE(reader.Open(OpenFileSource(dir / "r.qxrec", error), error)) << error;
    ASSERT_NE(reader.State().Find("camera-parameters.0"), nullptr);
    EXPECT_EQ(*reader.State().Find("uri"), "TK5P:QX1");
    ASSERT_EQ(reader.Frames().size(), frames.size());
    std::vector<uint8_t> out;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(reader.ReadFrame(i, out));
        EXPECT_EQ(out, frames[i]) << "frame " << i;
        if (i > 0) {
            EXPECT_GE(reader.Frames()[i].timeNs, reader.Frames()[i - 1].timeNs);
        }
    }
    EXPECT_EQ(reader.Frames()[0].timeNs, 0u);  // times count from the first frame
    ASSERT_EQ(reader.Changes().size(), 1u);
    EXPECT_EQ(reader.Changes()[0].name, "depth-range");
    EXPECT_EQ(reader.Changes()[0].value, "4");
    ASSERT_NE(reader.End(), nullptr);
    EXPECT_EQ(reader.End()->frames, 5u);
    EXPECT_EQ(reader.End()->dropped, 0u);
    EXPECT_FALSE(reader.Truncated());
    EXPECT_FALSE(reader.ReadFrame(5, out));
}

// A crash leaves the file cut anywhere: every cut keeps the whole chunks before it.
TEST(Recording, CutAnywhereKeepsEveryWholeChunkBeforeTheCut) {
    test::TempDir dir;
    const auto frames = WriteRecording(dir / "r.qxrec", 4);
    const std::vector<uint8_t> whole = ReadBytes(dir / "r.qxrec");
    RecordingReader full;
    std::string error;
    ASSERT_TRUE(Opens(whole, full, error));
    // Where each data chunk ends.
    std::vector<uint64_t> ends;
    for (const auto& f : full.Frames()) {
        ends.push_back(f.offset + f.length + 4);
    }
    const uint64_t stateEnd = full.Frames()[0].offset - 16;
    for (uint64_t cut = stateEnd; cut < whole.size(); ++cut) {
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
        RecordingReader reader;
        ASSERT_TRUE(Opens(part, reader, error)) << "cut at " << cut;
        size_t expected = 0;
        while (expected < ends.size() && ends[expected] <= cut) {
            ++expected;
        }
        ASSERT_EQ(reader.Frames().size(), expected) << "cut at " << cut;
        EXPECT_EQ(reader.End(), nullptr);
        std::vector<uint8_t> out;
        for (size_t i = 0; i < expected; ++i) {
            ASSERT_TRUE(reader.ReadFrame(i, out));
            EXPECT_EQ(out, frames[i]);
        }
    }
    // Cut inside the header or the state: nothing to replay, said so.
    for (const uint64_t cut : {uint64_t{0}, uint64_t{10}, stateEnd - 1}) {
        RecordingReader reader;
        EXPECT_FALSE(Opens({whole.begin(), whole.begin() + static_cast<long>(cut)}, reader, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(Recording, OtherVersionsAndForeignFilesAreRefusedByName) {
    test::TempDir dir;
    WriteRecording(dir / "r.qxrec", 1);
    std::vector<uint8_t> bytes = ReadBytes(dir / "r.qxrec");
    bytes[8] = 2;
    RecordingReader reader;
    std::string error;
    EXPECT_FALSE(Opens(bytes, reader, error));
    EXPECT_NE(error.find("version 2 is not supported"), std::string::npos) << error;
    bytes[0] = 'P';
    EXPECT_FALSE(Opens(bytes, reader, error));
    EXPECT_NE(error.find("not a Quorix recording"), std::string::npos) << error;
    EXPECT_EQ(OpenFileSource(dir / "missing", error), nullptr);
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

// Any flipped byte of a whole chunk (type, length, payload, CRC) is caught.
TEST(Recording, CorruptChunksAreRefusedWithWhereAndWhy) {
    test::TempDir dir;
    WriteRecording(dir / "r.qxrec", 3);
    const std::vector<uint8_t> whole = ReadBytes(dir / "r.qxrec");
    std::string error;
    for (size_t at = kFileHeaderBytes; at < whole.size(); at += 13) {
        std::vector<uint8_t> bytes = whole;
        bytes[at] ^= 0x40;
        RecordingReader reader;
        std::string why;
        const bool opened = reader.Open(MemorySource(bytes), why);
        // A flipped length can make the last chunk look cut instead: then it is dropped,
        // never read as something else.
        if (opened) {
            EXPECT_TRUE(reader.Truncated()) << "flip at " << at;
            EXPECT_LT(reader.Frames().size() + (reader.End() != nullptr ? 1 : 0), 4u);
        } else {
            EXPECT_NE(why.find("at byte"), std::string::npos) << why;
        }
    }
    RecordingReader reader;
    std::vector<uint8_t> bytes = whole;
    bytes[kFileHeaderBytes + 12] ^= 1;  // a byte of the state's text
    EXPECT_FALSE(Opens(bytes, reader, error));
    EXPECT_NE(error.find("CRC mismatch"), std::string::npos) << error;
}

// Chunks whose CRC is right but whose content is not: nothing outside the file is trusted.
TEST(Recording, WellFormedChunksWithBadContentAreRefused) {
    const std::vector<uint8_t> header = EncodeFileHeader();
    const std::string stateText = "uri=TK5P:QX1\n";
    const std::vector<uint8_t> state = EncodeChunk(
        kStateChunk, reinterpret_cast<const uint8_t*>(stateText.data()), stateText.size());
    auto file = [&](std::initializer_list<std::vector<uint8_t>> chunks) {
        std::vector<uint8_t> bytes = header;
        for (const auto& c : chunks) {
            bytes.insert(bytes.end(), c.begin(), c.end());
        }
        return bytes;
    };
    auto data = [](const std::vector<uint8_t>& frame) {
        std::vector<uint8_t> payload(8, 0);
        payload.insert(payload.end(), frame.begin(), frame.end());
        return EncodeChunk(kDataChunk, payload.data(), payload.size());
    };
    std::vector<uint8_t> badLength = DataFrame(10, 1);
    badLength[4] = 11;  // the header claims one byte more than recorded
    std::vector<uint8_t> badType = DataFrame(10, 1);
    badType[0] = 2;
    const std::string badKey = "URI=x\n";
    const std::vector<uint8_t> unknown = EncodeChunk(ChunkType("JUNK"), nullptr, 0);
    const uint8_t shortEnd[4] = {};
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {file({data(DataFrame(4, 1))}), "first chunk is not the camera's state"},
        {file({state, data(badLength)}), "header length does not match"},
        {file({state, data(badType)}), "header type is not 1"},
        {file({state, unknown}), "unknown type 'JUNK'"},
        {file({state, state}), "second or oversized state"},
        {file({state, EncodeChunk(kEndChunk, shortEnd, 4)}), "corrupt end chunk"},
        {file({state, EncodeChunk(kSettingChunk, shortEnd, 4)}), "corrupt setting chunk"},
        {file({EncodeChunk(kStateChunk, reinterpret_cast<const uint8_t*>(badKey.data()),
                           badKey.size())}),
         "not key=value"},
        {file({}), "no whole state chunk"},
    };
    for (const auto& [bytes, expected] : cases) {
        RecordingReader reader;
        std::string error;
        EXPECT_FALSE(Opens(bytes, reader, error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    // A length beyond the limit is refused before anything is allocated for it.
    std::vector<uint8_t> huge = file({state});
    const std::vector<uint8_t> head = {'D', 'A', 'T', 'A', 0xFF, 0xFF, 0xFF, 0x7F};
    huge.insert(huge.end(), head.begin(), head.end());
    huge.resize(huge.size() + 64);
    RecordingReader reader;
    std::string error;
    EXPECT_FALSE(Opens(huge, reader, error));
    EXPECT_NE(error.find("exceeds the limit"), std::string::npos) << error;
}

// The writer never holds more than its queue limit: frames beyond it are dropped and
// counted, and the frames it kept are whole.
TEST(Recording, WriterDropsWhatExceedsItsQueueAndCountsIt) {
    test::TempDir dir;
    RecordingWriter writer(1000);
    std::string error;
    ASSERT_TRUE(writer.Open(dir / "r.qxrec", SomeState(), error));
    const std::vector<uint8_t> big = DataFrame(2000, 3);
    writer.AddFrame(big.data(), 8, big.data() + 8, 2000);  // larger than the whole queue
    const std::vector<uint8_t> small = DataFrame(100, 4);
    writer.AddFrame(small.data(), 8, small.data() + 8, 100);
    ASSERT_TRUE(writer.Finish(error)) << error;
    EXPECT_EQ(writer.Current().dropped, 1u);
    RecordingReader reader;
    ASSERT_TRUE(reader.Open(OpenFileSource(dir / "r.qxrec", error), error)) << error;
    ASSERT_EQ(reader.Frames().size(), 1u);
    ASSERT_NE(reader.End(), nullptr);
    EXPECT_EQ(reader.End()->dropped, 1u);
    std::vector<uint8_t> out;
    ASSERT_TRUE(reader.ReadFrame(0, out));
    EXPECT_EQ(out, small);
}

TEST(Recording, StateKeysAndLinesAreChecked) {
    RecordedState state;
    std::string error;
    EXPECT_TRUE(state.Decode("a=1\nb.c-2=x=y\n", error)) << error;
    ASSERT_NE(state.Find("b.c-2"), nullptr);
    EXPECT_EQ(*state.Find("b.c-2"), "x=y");
    EXPECT_EQ(state.Encode(), "a=1\nb.c-2=x=y\n");
    for (const char* bad : {"novalue\n", "=1\n", "Upper=1\n", "sp ace=1\n"}) {
        EXPECT_FALSE(state.Decode(bad, error)) << bad;
        EXPECT_TRUE(state.Items().empty());
    }
}

TEST(Recording, WriterReportsAFileItCannotCreate) {
    RecordingWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Open("/nonexistent-folder/r.qxrec", SomeState(), error));
    EXPECT_NE(error.find("/nonexistent-folder/r.qxrec"), std::string::npos) << error;
    EXPECT_FALSE(writer.Finish(error));
}

}  // namespace
}  // namespace quorix::record
