// Plain files below an open directory descriptor on POSIX: opened for reading without following
// a link or waiting on a FIFO, created new without writing through a leftover, and read back.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/posix_support.h"

namespace talvex::platform::posix {

// Whether the failed open of `name` met a link where a file or folder was expected.
bool IsLinkAt(int dir_fd, const char* name);

// Opens the plain file `name` of `dir_fd` for reading, never through a link. It is opened
// without waiting, so a FIFO or a device met here never blocks, and refused (no byte read)
// once its descriptor shows it is no plain file. `st` is the file's status.
FsStatus OpenPlainFile(int dir_fd, const std::string& name, const std::string& path,
                       FileDescriptor& file, struct stat& st);

// Creates `name` as a new file. A leftover entry of that name (a file, a link, a hard link of
// something elsewhere) is removed as an entry and the file created again, so nothing is ever
// written through it. `source` (when given) must not be that leftover: that would lose it.
FsStatus CreateNewFile(int dir_fd, const std::string& name, const std::string& path,
                       FileDescriptor& file, const FileId* source);

// A reader over an open plain file; `path` names it in failures.
std::unique_ptr<FileReader> ReaderOf(FileDescriptor fd, std::string path);

}  // namespace talvex::platform::posix
