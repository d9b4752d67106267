// Firmware version text, image header and the image check.
#include "upgrade/FirmwareImage.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "log/Log.h"

namespace quorix {
namespace {

constexpr uint32_t kTk1a = 140;
constexpr uint32_t kTk1aLowestBuild = 28;

struct ModelCode {
    uint32_t deviceType;
    uint8_t code;
};

constexpr ModelCode kModelCodes[] = {
    {140, 2}, {211, 7}, {560, 5}, {561, 4}, {562, 4},
    {563, 4}, {340, 8}, {440, 1}, {442, 6}, {443, 6},
};

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(uint32_t v, uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// The date as a calendar time, for the log line that names both dates.
long CalendarTime(uint32_t year, uint32_t month, uint32_t day) {
    std::tm t{};
    t.tm_year = static_cast<int>(year) - 1900;
    t.tm_mon = static_cast<int>(month) - 1;
    t.tm_mday = static_cast<int>(day);
    return static_cast<long>(timegm(&t));
}

uint32_t DateKey(uint32_t year, uint32_t month, uint32_t day) {
    return year * 10000 + month * 100 + day;
}

}  // namespace

bool ParseFirmwareVersion(const char* text, FirmwareVersion& out) {
    const size_t length = strnlen(text, 64);
    const char* underscore = nullptr;
    for (size_t i = 8; i < length; ++i) {
        if (text[i] == '_') {
            underscore = text + i;
            break;
        }
    }
    if (underscore == nullptr || underscore + 1 >= text + length) {
        return false;
    }
    const char* date = underscore - 8;
    for (int i = 0; i < 8; ++i) {
        if (isdigit(static_cast<unsigned char>(date[i])) == 0) {
            return false;
        }
    }
    auto digits = [&](int at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = v * 10 + static_cast<uint32_t>(date[at + i] - '0');
        }
        return v;
    };
    out.year = digits(0, 4);
    out.month = digits(4, 2);
    out.day = digits(6, 2);
    out.build = 0;
    if (underscore + 2 < text + length) {
        out.build = static_cast<uint32_t>(strtoul(underscore + 2, nullptr, 10));
    }
    return true;
}

FirmwareHeader ParseFirmwareHeader(const uint8_t* header) {
    FirmwareHeader h;
    h.year = static_cast<uint16_t>(header[4] | header[5] << 8);
    h.month = header[6];
    h.day = header[7];
    h.build = ReadU32(header + 45);
    h.refused = header[49];
    h.modelCode = header[50];
    h.fileSize = ReadU32(header + 51);
    h.checksum = ReadU32(header + 55);
    return h;
}

void WriteFirmwareHeader(const FirmwareHeader& h, uint8_t* header) {
    header[4] = static_cast<uint8_t>(h.year);
    header[5] = static_cast<uint8_t>(h.year >> 8);
    header[6] = h.month;
    header[7] = h.day;
    WriteU32(h.build, header + 45);
    header[49] = h.refused;
    header[50] = h.modelCode;
    WriteU32(h.fileSize, header + 51);
    WriteU32(h.checksum, header + 55);
}

int32_t FirmwareModelCode(uint32_t deviceType) {
    for (const ModelCode& m : kModelCodes) {
        if (m.deviceType == deviceType) {
            return m.code;
        }
    }
    return -1;
}

uint32_t ByteSum(const uint8_t* data, size_t length, uint32_t sum) {
    for (size_t i = 0; i < length; ++i) {
        sum += data[i];
    }
    return sum;
}

int32_t CheckFirmwareImage(const char* installed, uint32_t deviceType, const char* path,
                           uint32_t& fileSize, uint32_t& checksum) {
    FirmwareVersion old;
    if (!ParseFirmwareVersion(installed, old)) {
        QLOG("oldFW:%s is invalid.\n", installed);
        return -1;
    }
    if (deviceType == kTk1a && old.build < kTk1aLowestBuild) {
        QLOG("subFwVerion:%d is too low to support upgrading.\n", static_cast<int>(old.build));
        return -1;
    }
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        QLOG("pImgPath:%s open failed.\n", path);
        return -2;
    }
    fseek(file, 0, SEEK_END);
    const long length = ftell(file);
    fseek(file, 0, SEEK_SET);
    fileSize = length < 0 ? 0 : static_cast<uint32_t>(length);
    if (length < static_cast<long>(kFirmwareHeaderBytes)) {
        QLOG("The upgrade file:%s is too small:%d.\n", path, static_cast<int>(length));
        fclose(file);
        return -2;
    }
    uint8_t block[kFirmwareHeaderBytes];
    const size_t got = fread(block, 1, sizeof block, file);
    fclose(file);
    if (got != sizeof block) {
        QLOG("pImgPath:%s open failed.\n", path);
        return -2;
    }
    const FirmwareHeader h = ParseFirmwareHeader(block);
    checksum = h.checksum;

    int32_t result;
    if (DateKey(h.year, h.month, h.day) >= DateKey(old.year, old.month, old.day) &&
        h.refused == 0) {
        const int32_t code = FirmwareModelCode(deviceType);
        if (code < 0 || code != h.modelCode) {
            QLOG("%d\n", 0);
            result = -1;
        } else if (h.build > old.build) {
            result = 0;
        } else if (h.build == old.build) {
            result = 1;
        } else {
            QLOG("Version error  %d, %d\n", static_cast<int>(h.build), static_cast<int>(old.build));
            result = -1;
        }
    } else {
        QLOG("%d %d %d \n", static_cast<int>(CalendarTime(h.year, h.month, h.day)),
             static_cast<int>(CalendarTime(old.year, old.month, old.day)),
             static_cast<int>(h.refused));
        result = -1;
    }
    if (fileSize != h.fileSize) {
        QLOG("Upgrade file:%s size mismatch(%d, %d).\n", path, static_cast<int>(fileSize),
             static_cast<int>(h.fileSize));
        result = -2;
    }
    return result;
}

}  // namespace quorix
