// Where the library's own file lives, and lexical clean-up of "/"-separated paths.
#pragma once

#include <string>
#include <string_view>

namespace quorix::platform {

// Folder of the file that holds this code: the shared library when the code is linked
// into it, the executable when it is linked statically. Absolute (a relative name from the
// loader is taken against the current folder), without a trailing "/". Empty when the
// loader cannot tell.
std::string ModuleDirectory();

// Removes "." components and lets each ".." remove itself and the component before it
// (at the top, where there is none, it removes only itself); empty components ("//")
// are dropped. A leading "/" and a trailing "/" are kept. Lexical only: the file system
// is not consulted.
std::string NormalisePath(std::string_view path);

}  // namespace quorix::platform
