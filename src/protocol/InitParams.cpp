// Pushed initial parameters: the typed-block walk, and reading and writing the values.
#include "protocol/InitParams.h"

#include <cstring>

#include "base/Status.h"
#include "log/Log.h"

namespace quorix {
namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// Fixed lengths of the block types that are kept.
size_t BlockLength(uint8_t type) {
    switch (type) {
        case 2:
            return 64;
        case 6:
            return 54;
        case 7:
            return 1;
        case 9:
            return 1;
        case 15:
            return 54;
        case 16:
            return 512;
        case 21:
            return 64;
        case 22:
            return 480;
        default:
            return 0;
    }
}

// Stores one block of a known type; false for a bad option inside a type-21 block.
bool StoreBlock(uint8_t type, const uint8_t* v, InitParamBlocks& b) {
    switch (type) {
        case 2:
            memcpy(b.options, v + 1, sizeof b.options);
            break;
        case 6:
            memcpy(b.settings, v, sizeof b.settings);
            break;
        case 7:
            b.byte7 = v[0];
            break;
        case 9:
            b.byte9 = v[0];
            break;
        case 15:
            memcpy(b.settings2, v, sizeof b.settings2);
            break;
        case 16:
            memcpy(b.calibration, v, sizeof b.calibration);
            break;
        case 22:
            memcpy(b.records, v, sizeof b.records);
            break;
        case 21:
            if (v[0] == 2) {
                b.optionValue = Le32(v + 1);
                b.optionByte = v[5];
            } else if (v[0] == 4) {
                if (v[1] > 1) {
                    QLOG_WARN("typeId:%d dataLenth.lenth:%d option2:%d is invalid.\n", type, 64,
                              v[1]);
                    return false;
                }
                const size_t n = std::min<size_t>(v[2], 64 - 3);  // the text stays in its block
                b.strings[v[1]].assign(reinterpret_cast<const char*>(v + 3), n);
            } else {
                QLOG_WARN("typeId:%d dataLenth.lenth:%d option:%d is invalid.\n", type, 64, v[0]);
                return false;
            }
            break;
        default:
            break;
    }
    b.received |= 1u << type;
    return true;
}

}  // namespace

int32_t DecodeInitParams(const uint8_t* payload, size_t length, InitParamBlocks& blocks) {
    if (payload == nullptr || length < 5) {
        QLOG_WARN("pData:%p, length:%d is invalid.\n", static_cast<const void*>(payload),
                  static_cast<int>(length));
        return kStatusFailed;
    }
    bool ok = true;
    size_t offset = 0;
    while (offset < length) {
        const size_t unused = length - offset;
        if (unused < 5) {
            QLOG("length:%d  unUsed:%d <\n", static_cast<int>(length), static_cast<int>(unused));
            return kStatusFailed;
        }
        const uint8_t type = payload[offset];
        const uint32_t blockLength = Le32(payload + offset + 1);
        if (blockLength > unused - 5) {
            QLOG("length:%d typeId:%d dataLenth.lenth:%d   unUsed:%d   >\n",
                 static_cast<int>(length), type, static_cast<int>(blockLength),
                 static_cast<int>(unused));
            return kStatusFailed;
        }
        const uint8_t* value = payload + offset + 5;
        const size_t expected = BlockLength(type);
        if (expected != 0) {
            if (blockLength != expected) {
                QLOG_WARN("typeId:%d dataLenth.lenth:%d is invalid.\n", type,
                          static_cast<int>(blockLength));
                ok = false;
            } else if (!StoreBlock(type, value, blocks)) {
                ok = false;
            }
        }
        offset += 5 + blockLength;
    }
    return ok ? 0 : -1;
}

bool ReadPushedParameters(const InitParamBlocks& b, PushedParameters& out) {
    const uint32_t needed = (1u << 6) | (1u << 16) | (1u << 22);
    if ((b.received & needed) != needed) {
        return false;
    }
    memcpy(out.calibration.data(), b.calibration, 46 * sizeof(double));
    memcpy(out.planeCorrection.data(), b.calibration + 368, 5 * sizeof(float));
    memcpy(out.blockA.data(), b.calibration + 388, 16);
    memcpy(out.blockB.data(), b.calibration + 404, 16);
    for (size_t i = 0; i < 3; ++i) {
        memcpy(out.depthOffsets[i].data(), b.records + 19 * i, 19);
        memcpy(&out.measuringRanges[i], b.records + 57 + 19 * i, 19);
    }
    memcpy(out.dataModeList.data(), b.records + 114, 33);
    memcpy(out.depthRangeList.data(), b.records + 147, 10);
    memcpy(&out.wdr, b.records + 157, sizeof out.wdr);
    out.dataMode = b.settings[0];
    out.depthRange = b.settings[1];
    out.threshold = Le16(b.settings + 2);
    out.colourWidth = Le16(b.settings + 4);
    out.colourHeight = Le16(b.settings + 6);
    out.pulseCount = Le16(b.settings + 8);
    out.gmmGain = Le16(b.settings + 10);
    memcpy(&out.depthScale, b.settings + 12, sizeof(float));
    out.count16 = Le16(b.settings + 16);
    out.flag = b.settings[18];
    out.serialNumber = b.strings[0];
    out.firmwareVersion = b.strings[1];
    return true;
}

std::vector<uint8_t> EncodeInitParams(const PushedParameters& p) {
    std::vector<uint8_t> out;
    auto block = [&](uint8_t type, const std::vector<uint8_t>& value) {
        out.push_back(type);
        PutLe32(out, static_cast<uint32_t>(value.size()));
        out.insert(out.end(), value.begin(), value.end());
    };
    std::vector<uint8_t> options(64, 0);
    options[1] = 1;  // a colour sensor
    block(2, options);

    std::vector<uint8_t> settings(54, 0);
    settings[0] = p.dataMode;
    settings[1] = p.depthRange;
    PutLe16(&settings[2], p.threshold);
    PutLe16(&settings[4], p.colourWidth);
    PutLe16(&settings[6], p.colourHeight);
    PutLe16(&settings[8], p.pulseCount);
    PutLe16(&settings[10], p.gmmGain);
    memcpy(&settings[12], &p.depthScale, sizeof(float));
    PutLe16(&settings[16], p.count16);
    settings[18] = p.flag;
    block(6, settings);

    std::vector<uint8_t> calibration(512, 0);
    memcpy(calibration.data(), p.calibration.data(), 46 * sizeof(double));
    memcpy(calibration.data() + 368, p.planeCorrection.data(), 5 * sizeof(float));
    memcpy(calibration.data() + 388, p.blockA.data(), 16);
    memcpy(calibration.data() + 404, p.blockB.data(), 16);
    block(16, calibration);

    for (uint8_t sub = 0; sub < 2; ++sub) {
        const std::string& text = sub == 0 ? p.serialNumber : p.firmwareVersion;
        if (text.empty()) {
            continue;
        }
        std::vector<uint8_t> strings(64, 0);
        strings[0] = 4;
        strings[1] = sub;
        strings[2] = static_cast<uint8_t>(std::min<size_t>(text.size(), 61));
        memcpy(&strings[3], text.data(), strings[2]);
        block(21, strings);
    }

    std::vector<uint8_t> records(480, 0);
    for (size_t i = 0; i < 3; ++i) {
        memcpy(&records[19 * i], p.depthOffsets[i].data(), 19);
        memcpy(&records[57 + 19 * i], &p.measuringRanges[i], 19);
    }
    memcpy(&records[114], p.dataModeList.data(), 33);
    memcpy(&records[147], p.depthRangeList.data(), 10);
    memcpy(&records[157], &p.wdr, sizeof p.wdr);
    block(22, records);
    return out;
}

}  // namespace quorix
