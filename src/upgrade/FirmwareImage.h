// The firmware image checks that run before a camera is switched into upgrade mode: the
// installed version text, the 512-byte image header and the model codes. Pure functions
// over a version text and a file, so every refusal is testable without a camera.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

inline constexpr uint32_t kFirmwareHeaderBytes = 512;

// Image header fields (little-endian) at their byte offsets.
struct FirmwareHeader {
    uint16_t year = 0;      // 4
    uint8_t month = 0;      // 6
    uint8_t day = 0;        // 7
    uint32_t build = 0;     // 45
    uint8_t refused = 0;    // 49: the image is accepted only when 0
    uint8_t modelCode = 0;  // 50
    uint32_t fileSize = 0;  // 51
    uint32_t checksum = 0;  // 55: handed to the upgrader with the image
};

// The installed firmware: build date and build number of a version text such as
// "20240115_V45" (an underscore at index 8 or later, the eight digits before it the date,
// the decimal number two characters after it the build).
struct FirmwareVersion {
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t build = 0;
};

// False when the text has no such underscore, nothing after it or no date before it.
bool ParseFirmwareVersion(const char* text, FirmwareVersion& out);
// The header fields of a 512-byte header block.
FirmwareHeader ParseFirmwareHeader(const uint8_t* header);
// Writes `h` into a 512-byte block (the simulator and the tests build images with it).
void WriteFirmwareHeader(const FirmwareHeader& h, uint8_t* header);
// The model code images of this device type carry; -1 for a type that cannot be upgraded.
int32_t FirmwareModelCode(uint32_t deviceType);
// The 32-bit sum of the bytes, added to `sum`.
uint32_t ByteSum(const uint8_t* data, size_t length, uint32_t sum = 0);

// The session's firmware check of `path` against the installed version text of a camera
// of `deviceType`: 0 newer build, 1 same build, -1 refused, -2 file problem. The file
// size and the header's checksum go to the out-parameters once the file was read.
int32_t CheckFirmwareImage(const char* installed, uint32_t deviceType, const char* path,
                           uint32_t& fileSize, uint32_t& checksum);

}  // namespace quorix
