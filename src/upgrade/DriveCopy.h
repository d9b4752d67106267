// The files a USB camera in transfer mode exchanges through its removable drive: the
// firmware image and the new JSON file written under the drive's "/Android/data" folder,
// and its current JSON file read back from there. A drive is a mount point (tests use a
// folder). Every copy is checked: a firmware copy whose size or byte sum differs from what
// the image's header promised is deleted from the drive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorix {

// The whole file; false (logged) when it cannot be opened or is empty.
bool ReadTransferFile(const std::string& path, std::vector<uint8_t>& bytes);

// "/Android/data" under `root`, created when missing; empty when it cannot be made.
std::string DriveDataFolder(const std::string& root);

// Copies the image to `root`/Android/data/Firmware.img. 0, or -1 when the image's length
// is not `size`, a folder or the copy cannot be made, or the copy's size or byte sum after
// the 512-byte header is not (`size`, `checksum`) (the copy is then deleted).
int32_t CopyFirmwareToDrive(const std::string& image, const std::string& root, uint32_t size,
                            uint32_t checksum);

// Writes the JSON file to `root`/Android/data/config.json in one write; its length and the
// byte sum of all of it go to `size` and `checksum`. -1 for an unreadable or empty file or
// a short write (that copy stays on the drive).
int32_t CopyJsonToDrive(const std::string& file, const std::string& root, uint32_t& size,
                        uint32_t& checksum);

// Copies `root`/Android/data/configOrig.json to `folder`/config.json, creating `folder`.
int32_t CopyJsonToLocal(const std::string& root, const std::string& folder);

}  // namespace quorix
