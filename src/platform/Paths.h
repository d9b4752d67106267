// Paths and directories of the host: the user's home, creating folder chains.
#pragma once

#include <string>

namespace quorix::platform {

// Home directory of the process's user from the password database (no environment
// variables are read). Empty when the user has no entry.
std::string HomeDirectory();

// Creates `path` and every missing parent. Returns 0 on success (also when the folder
// exists already), otherwise the errno of the step that failed.
int MakeDirectories(const std::string& path);

// True when `path` names an existing directory.
bool IsDirectory(const std::string& path);

}  // namespace quorix::platform
