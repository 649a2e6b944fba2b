// Directory handles on POSIX (see Directory in file_system.h).
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace talvex::platform::posix {

// Opens the subdirectory `name` of the open directory `dir_fd`, never through a link.
FsStatus OpenDirectoryAt(int dir_fd, const std::string& name, std::string path,
                         std::unique_ptr<Directory>& opened);

// Wraps an open directory descriptor, which the handle then owns.
FsStatus OpenDirectoryFd(int fd, std::string path, FileId id, std::unique_ptr<Directory>& opened);

}  // namespace talvex::platform::posix
