// Directory handles on Win32 (see Directory in file_system.h).
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace talvex::platform::win32 {

// Opens the folder at `path` to work in. `follow` is for a folder the caller pointed us to;
// every folder below it is opened as the entry itself, so a junction or link is seen, not
// entered. "e:" stands for the drive's root.
FsStatus OpenFolder(const std::string& path, bool follow, std::unique_ptr<Directory>& opened);

}  // namespace talvex::platform::win32
