// A session's maintenance entry points: the firmware check, the start of a firmware
// upgrade and the JSON configuration transfer. They switch the camera into its transfer
// mode only after every precondition holds (a camera left in upgrade mode with nobody to
// follow it stays there until it is power-cycled), then hand over to the process-wide
// workers (TransferWorkers.h).
#pragma once

#include <cstdint>

#include "upgrade/TransferWorkers.h"

namespace quorix {

class BaseSession;

// Session statuses of the maintenance entry points (the public layer maps them once).
inline constexpr int32_t kUpgradeRefused = -1;      // image or camera refused; transfer busy
inline constexpr int32_t kUpgradeFileProblem = -2;  // image unreadable, short or mis-sized
inline constexpr int32_t kModeSwitchFailed = -3;    // the camera did not enter its mode
inline constexpr int32_t kUpgradeNotPossible = -4;  // no status callback, or not this way
inline constexpr int32_t kJsonRefused = -2;         // no JSON support, or not ready for a file

// 0 the image is newer, 1 the same build, -1 refused, -2 file problem.
int32_t CheckFirmwareVersion(BaseSession& session, const char* path, uint32_t& fileSize,
                             uint32_t& checksum);
// 0 or 1 (the check's result) once the upgrader runs; a negative status otherwise, with
// nothing sent to the camera but queries unless the mode switch itself failed.
int32_t StartUpgradeFirmWare(BaseSession& session, const char* path);
int32_t SetUpgradeStatusCallback(TransferCallback callback);
// Switches the camera into JSON mode and starts JsonCtl, which fetches the current file.
int32_t EnterJsonConfigMode(BaseSession& session, TransferCallback callback);
// Delivers the new file once JsonCtl waits for it (status 3); -2 otherwise.
int32_t StartUpgradeJson(BaseSession& session, const char* path);

}  // namespace quorix
