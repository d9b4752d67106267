// The colour decoder: MJPEG against a direct TurboJPEG decode, the exposure, the sizes it
// refuses, its own rotation, the crop and scale to a 4:3 mode, NV12 and H.264 through the
// pre-processing object, malformed records, dumps of unknown kinds, dropped records, an
// exhausted pool and the thread.
#include "imaging/RgbDecode.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FakePreProcess.h"
#include "FakeProducer.h"
#include "TofTestData.h"
#include "log/Log.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace quorix {
namespace {

using namespace test;

// A smooth synthetic picture, so the compressed image is small and decodes faithfully.
Bytes MakeJpeg(int width, int height) {
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>((x + y) & 0xFF);
        }
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(
        tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0), 0);
    Bytes jpeg(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

Bytes DirectDecode(const Bytes& jpeg, int width, int height, int pixelFormat) {
    Bytes out(static_cast<size_t>(width) * height * 3);
    tjhandle tj = tjInitDecompress();
    EXPECT_EQ(
        tjDecompress2(tj, jpeg.data(), jpeg.size(), out.data(), width, 0, height, pixelFormat, 0),
        0);
    tjDestroy(tj);
    return out;
}

Bytes WithExposure(Bytes payload, float exposure) {
    const auto* p = reinterpret_cast<const uint8_t*>(&exposure);
    payload.insert(payload.end(), p, p + 4);
    return payload;
}

class RgbDecodeTest : public ::testing::Test {
protected:
    RgbDecodeTest() { producer.raw.SetTimeout(0); }

    // Decodes one record in place of the worker; the caller releases the frame.
    Frame* Decode(RgbDecode& decoder, uint8_t type, const Bytes& payload) {
        Frame* raw = producer.Record(SubPacket(type, payload));
        Frame* out = decoder.Queue().AllocFrame(kPoolColour);
        decoder.DecodeRGB(*raw, *out);
        producer.raw.Release(raw);
        return out;
    }
    // Queues one record and lets the decoder take one round.
    void Step(RgbDecode& decoder, uint8_t type, const Bytes& payload) {
        producer.Feed(SubPacket(type, payload));
        decoder.Step();
    }
    static Bytes Pixels(const Frame& f) { return Bytes(f.pFrameData, f.pFrameData + f.dataLen); }

    FakeProducer producer{kPoolRawColour, 4};
    FakePreProcess pre;
};

TEST_F(RgbDecodeTest, MjpegMatchesADirectDecodeAndCarriesTheExposure) {
    struct Case {
        uint8_t type;
        int width, height;
        uint32_t format;
    };
    // 0x25 names no size: the colour mode's (here 320x240) is expected; it has no exposure.
    for (const Case c : {Case{'4', 640, 480, 3}, Case{'4', 640, 480, 4}, Case{'2', 1280, 720, 4},
                         Case{0x25, 320, 240, 3}}) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.width << " fmt " << c.format);
        RgbDecode decoder(&producer, nullptr, 2);
        decoder.SetMode(320, 240, 30);
        decoder.SetOutputFormat(c.format);
        const Bytes jpeg = MakeJpeg(c.width, c.height);
        Frame* f = Decode(decoder, c.type, WithExposure(jpeg, 0.02f));
        ASSERT_EQ(f->dataLen, static_cast<uint32_t>(c.width * c.height * 3));
        EXPECT_EQ(f->width, c.width);
        EXPECT_EQ(f->height, c.height);
        EXPECT_FLOAT_EQ(f->exposureTime, c.type == 0x25 ? 0.0f : 20.0f);
        EXPECT_EQ(decoder.DecodeType(), RgbDecode::kKindMjpeg);
        EXPECT_TRUE(Pixels(*f) ==
                    DirectDecode(jpeg, c.width, c.height, c.format == 3 ? TJPF_RGB : TJPF_BGR));
        decoder.Queue().Release(f);
    }
    // Every type from '1' to '5' carries it.
    RgbDecode decoder(&producer, nullptr, 2);
    for (const uint8_t type : {'1', '3', '5'}) {
        Frame* f = Decode(decoder, type, WithExposure(MakeJpeg(64, 48), 0.0125f));
        EXPECT_FLOAT_EQ(f->exposureTime, 12.5f) << type;
        decoder.Queue().Release(f);
    }
}

TEST_F(RgbDecodeTest, SizesTheModeRefusesAreNotDeliveredAndLoggedSparingly) {
    RgbDecode decoder(&producer, nullptr, 2);
    decoder.SetMode(640, 360, 30);
    log::Capture capture;
    // Type '1' names 1920 x 1080. The payload is no real JPEG: decoding it would log a
    // header error, so a quiet refusal shows that no decode was tried.
    const Bytes notJpeg = {0xFF, 0xD8, 0x01, 0x02, 0x03};
    for (uint32_t i = 0; i < RgbDecode::kRefusalLogInterval + 1; ++i) {
        Step(decoder, '1', notJpeg);
    }
    EXPECT_EQ(capture.Count("framemode 640, 360 ; decoded 1920 ,1080"), 2u);  // 1st and 300th
    EXPECT_FALSE(capture.Contains("reading JPEG header"));

    // A JPEG whose real size is not the mode's, and without the pre-processing object a
    // 640x360 image that does not fit a 640x480 mode.
    decoder.SetMode(640, 480, 30);
    Step(decoder, '4', MakeJpeg(1280, 720));
    EXPECT_TRUE(capture.Contains("ERROR in turbo decode while width or height is not right"));
    EXPECT_TRUE(capture.Contains("DecodeRGB is failed."));
    Step(decoder, '3', MakeJpeg(640, 360));
    EXPECT_TRUE(
        capture.Contains("DecodedRGB frame resolution does not match we want. "
                         "framemode 640, 480 ; decoded 640 ,360"));
    EXPECT_EQ(decoder.Queue().Size(), 0u);
    EXPECT_TRUE(producer.Ready().empty());
    EXPECT_EQ(producer.RawOut(), 0u);
    EXPECT_EQ(decoder.Queue().Pool()->FreeCount(), 1u);  // only the frame being filled is out

    // A new mode starts the count again; a size the mode takes is decoded as before.
    decoder.SetMode(64, 48, 30);
    Step(decoder, '1', notJpeg);
    EXPECT_EQ(capture.Count("framemode 64, 48 ; decoded 1920 ,1080"), 1u);
    Step(decoder, '0', MakeJpeg(64, 48));
    EXPECT_EQ(decoder.Queue().Size(), 1u);
}

TEST_F(RgbDecodeTest, RotationUsesItsOwnQuarterTurn) {
    RgbDecode decoder(&producer, nullptr, 2);
    decoder.SetMode(640, 480, 30);
    decoder.SetOutputFormat(3);
    decoder.SetRotation(1);
    const Bytes jpeg = MakeJpeg(640, 480);
    Step(decoder, '4', jpeg);
    Frame* f = decoder.Queue().TryPop();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->width, 480);
    EXPECT_EQ(f->height, 640);
    // Source pixel (x, y) lands in column y, row width - 1 - x.
    const Bytes src = DirectDecode(jpeg, 640, 480, TJPF_RGB);
    size_t wrong = 0;
    for (size_t y = 0; y < 480; ++y) {
        for (size_t x = 0; x < 640; ++x) {
            wrong +=
                memcmp(&src[(y * 640 + x) * 3], f->pFrameData + ((639 - x) * 480 + y) * 3, 3) != 0;
        }
    }
    EXPECT_EQ(wrong, 0u);
    decoder.Queue().Release(f);
}

TEST_F(RgbDecodeTest, WideImageIsCroppedAndScaledToTheFourThreeMode) {
    struct Case {
        uint16_t rotation;
        std::vector<std::string> calls;
        int width, height;
    };
    const Case cases[] = {
        {RgbDecode::kNoRotation,
         {"Crop 2:640x360 80 0 480x360", "Resize 2:480x360 640x480", "ProcessColour 2:640x480"},
         640,
         480},
        {0,
         {"Crop 2:360x640 0 80 360x480", "Resize 2:360x480 480x640", "ProcessColour 2:480x640"},
         480,
         640},
    };
    const Bytes jpeg = MakeJpeg(640, 360);
    const Bytes src = DirectDecode(jpeg, 640, 360, TJPF_BGR);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        FakePreProcess fake;
        RgbDecode decoder(&producer, &fake, 2);
        decoder.SetMode(640, 480, 30);
        decoder.SetRotation(c.rotation);
        Step(decoder, '3', jpeg);
        EXPECT_EQ(fake.calls, c.calls);
        Frame* f = decoder.Queue().TryPop();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->width, c.width);
        EXPECT_EQ(f->height, c.height);
        EXPECT_EQ(f->dataLen, 640u * 480 * 3);
        if (c.rotation == RgbDecode::kNoRotation) {
            // The central 480 columns, scaled by 4/3: output (0, 0) is source (80, 0) and
            // output (639, 479) is source (80 + 479, 359).
            EXPECT_EQ(memcmp(f->pFrameData, &src[80 * 3], 3), 0);
            EXPECT_EQ(memcmp(f->pFrameData + (479 * 640 + 639) * 3, &src[(359 * 640 + 559) * 3], 3),
                      0);
        }
        decoder.Queue().Release(f);
        // The written mark covered every step, so the released frame is clean.
        EXPECT_EQ(std::count(f->pFrameData, f->pFrameData + f->capacity, 0),
                  static_cast<long>(f->capacity));
    }
}

TEST_F(RgbDecodeTest, Nv12AndH264GoThroughConvertColour) {
    const Bytes nv12(640 * 480 * 3 / 2, 7);
    for (const uint32_t format : {3u, 4u}) {
        pre.calls.clear();
        RgbDecode decoder(&producer, &pre, 2);
        decoder.SetOutputFormat(format);
        Frame* f = Decode(decoder, '5', nv12);
        EXPECT_EQ(pre.calls, std::vector<std::string>{"ConvertColour 1:640x480 1 5 " +
                                                      std::to_string(format) + " first 7"});
        EXPECT_EQ(f->dataLen, 640u * 480 * 3);
        EXPECT_EQ(f->pFrameData[f->dataLen - 1], 0x5A);
        decoder.Queue().Release(f);
    }
    struct Failure {
        const char* what;
        ImgPreProcess* pre;
        size_t bytes;
        int32_t convertResult;
    };
    for (const Failure c : {Failure{"no pre-processing", nullptr, nv12.size(), 0},
                            Failure{"short payload", &pre, nv12.size() - 1, 0},
                            Failure{"conversion failed", &pre, nv12.size(), -1}}) {
        SCOPED_TRACE(c.what);
        pre.convertResult = c.convertResult;
        RgbDecode decoder(&producer, c.pre, 2);
        Frame* f = Decode(decoder, '5', Bytes(nv12.begin(), nv12.begin() + c.bytes));
        EXPECT_EQ(f->dataLen, 0u);
        decoder.Queue().Release(f);
    }

    // H.264 counts only if the conversion succeeds.
    const Bytes h264 = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1F};
    for (const int32_t result : {-1, 0}) {
        pre.calls.clear();
        pre.convertResult = result;
        RgbDecode decoder(&producer, &pre, 2);
        Frame* f = Decode(decoder, 0x25, h264);
        EXPECT_EQ(decoder.DecodeType(), RgbDecode::kKindH264);
        ASSERT_EQ(pre.calls.size(), 1u);
        EXPECT_EQ(pre.calls[0].rfind("ConvertColour 2:1280x720 1 3 4", 0), 0u) << pre.calls[0];
        EXPECT_EQ(f->dataLen, result == 0 ? 1280u * 720 * 3 : 0u);
        decoder.Queue().Release(f);
    }
}

TEST_F(RgbDecodeTest, MalformedRecordsAreRefused) {
    const Bytes jpeg = MakeJpeg(640, 480);
    Bytes corrupt = jpeg;
    std::fill(corrupt.begin() + 2, corrupt.begin() + 40, 0);
    struct Case {
        const char* what;
        Bytes record;
        const char* message;
    };
    const Case cases[] = {
        {"length beyond the record",
         {'4', 0xA0, 0x86, 0x01, 0, 0xFF, 0xD8, 1, 2},
         "does not fit a record"},
        {"truncated JPEG", SubPacket('4', Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)),
         "ERROR in turbo decode while decompressing JPEG image"},
        {"JPEG with a broken header", SubPacket('4', corrupt), "ERROR in turbo decode while"},
        {"JPEG marker only", SubPacket('4', {0xFF, 0xD8}), "ERROR in turbo decode while"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RgbDecode decoder(&producer, &pre, 2);
        decoder.SetMode(640, 480, 30);
        log::Capture capture;
        producer.Feed(c.record);
        decoder.Step();
        EXPECT_TRUE(capture.Contains(c.message));
        EXPECT_EQ(decoder.Queue().Size(), 0u);
        EXPECT_EQ(producer.RawOut(), 0u);
    }

    // Records that do not even hold a header, or claim more than their buffer.
    RgbDecode decoder(&producer, nullptr, 2);
    Frame* f = decoder.Queue().AllocFrame(kPoolColour);
    Frame* raw = producer.Record(SubPacket('4', {}));
    for (const uint32_t length : {0u, 4u, raw->capacity + 1}) {
        log::Capture capture;
        raw->dataLen = length;
        decoder.DecodeRGB(*raw, *f);
        EXPECT_EQ(f->dataLen, 0u);
        EXPECT_TRUE(capture.Contains("raw colour record of")) << length;
    }
    producer.raw.Release(raw);
    decoder.Queue().Release(f);
}

TEST_F(RgbDecodeTest, TheFirstTenRecordsOfUnknownKindAreDumped) {
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    RgbDecode decoder(&producer, nullptr, 2);
    log::Capture capture;
    for (int i = 0; i < 11; ++i) {
        Step(decoder, '6', {'a', 'b', 'c'});
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(capture.Count("err m_DecodeType: -1, data_size: 8"), 11u);
    EXPECT_EQ(ReadFile(dir / "000_raw.bin"), std::string("6\x03\0\0\0abc", 8));
    EXPECT_TRUE(std::filesystem::exists(dir / "009_raw.bin"));
    EXPECT_FALSE(std::filesystem::exists(dir / "010_raw.bin"));
}

TEST_F(RgbDecodeTest, RecordsAreDroppedWhileNothingIsToBeDecoded) {
    const Bytes jpeg = MakeJpeg(640, 480);
    struct Case {
        const char* what;
        uint32_t format;
        bool enabled;
        bool modeChange;
        uint32_t left;  // records still queued after one round
    };
    for (const Case c : {Case{"output format 0", 0, true, false, 1},
                         // The producer drops these when decoding resumes: a decoder
                         // taking them could take the first record after the switch.
                         Case{"decoding off: nothing taken", 4, false, false, 2},
                         Case{"mode change: one record", 4, true, true, 1}}) {
        SCOPED_TRACE(c.what);
        RgbDecode decoder(&producer, nullptr, 2);
        decoder.SetMode(640, 480, 30);
        decoder.SetOutputFormat(c.format);
        decoder.SetDecodeEnabled(c.enabled);
        decoder.SetModeChangePending(c.modeChange);
        producer.Feed(SubPacket('4', jpeg));
        Step(decoder, '4', jpeg);
        EXPECT_EQ(producer.raw.Size(), c.left);
        EXPECT_EQ(decoder.Queue().Size(), 0u);
        while (Frame* f = producer.raw.TryPop()) {
            producer.raw.Release(f);
        }
        EXPECT_EQ(producer.RawOut(), 0u);
    }
}

TEST_F(RgbDecodeTest, AnExhaustedPoolIsReportedAndRecovered) {
    RgbDecode decoder(&producer, nullptr, 1);
    decoder.SetMode(640, 480, 30);
    const Bytes jpeg = MakeJpeg(640, 480);
    log::Capture capture;
    Step(decoder, '4', jpeg);  // delivered; no frame left to fill
    EXPECT_TRUE(capture.Contains("FramePool of 3 is exhausted"));
    Step(decoder, '4', jpeg);
    EXPECT_TRUE(capture.Contains("DecodeRGB mPtrDecodedFrame is NULL."));
    EXPECT_EQ(producer.RawOut(), 0u);
    decoder.Queue().Release(decoder.Queue().Pop());
    Step(decoder, '4', jpeg);  // takes a frame again
    Step(decoder, '4', jpeg);
    EXPECT_EQ(decoder.Queue().Size(), 1u);
}

TEST_F(RgbDecodeTest, ThreadDeliversFramesWithTheRecordsFieldsUntilStopped) {
    producer.raw.SetTimeout(50);
    RgbDecode decoder(&producer, nullptr, 2);
    decoder.SetMode(640, 480, 30);
    decoder.SetOutputFormat(3);
    decoder.Start();
    Frame* raw = producer.Record(SubPacket('4', WithExposure(MakeJpeg(640, 480), 0.004f)));
    raw->frameIndex = 77;
    raw->frameTag = 3;
    raw->frameSet = kFrameSetDepth | kFrameSetColour;
    raw->timestamp = 0x0001000200030004ull;
    producer.raw.Push(raw);
    Frame* f = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (f = decoder.Queue().Pop()) != nullptr; }, std::chrono::seconds(10)));
    EXPECT_EQ(f->frameIndex, 77u);
    EXPECT_EQ(f->frameTag, 3);
    EXPECT_EQ(f->frameSet, kFrameSetDepth | kFrameSetColour);
    EXPECT_EQ(f->timestamp, 0x0001000200030004ull);
    EXPECT_EQ(f->frameType, 3u);
    EXPECT_EQ(f->pixelFormat, 3);
    EXPECT_FLOAT_EQ(f->exposureTime, 4.0f);
    EXPECT_EQ(f->dataLen, 640u * 480 * 3);
    decoder.Queue().Release(f);
    decoder.Stop();
    EXPECT_EQ(decoder.Join(), 0);
    EXPECT_EQ(producer.Ready(), std::vector<uint8_t>{4});
    EXPECT_EQ(producer.RawOut(), 0u);
}

}  // namespace
}  // namespace quorix
