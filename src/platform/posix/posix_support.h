// What the POSIX file system and its directory handles share: errno statuses, attribute
// mapping, descriptors that close themselves, the listing loop and the content copy.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace talvex::platform::posix {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports what close said: a write can fail only at close on some file systems.
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

class DirHandle {
 public:
  explicit DirHandle(DIR* dir) : dir_(dir) {}
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  ~DirHandle() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

FsStatus ErrnoStatus(int error, const std::string& path);
FsStatus LastErrno(const std::string& path);
std::uint32_t AttributesOf(const struct stat& st);
std::uint32_t AttributesOfType(unsigned char type);
bool IsDotOrDotDot(const char* name);
bool WriteAll(int fd, const char* data, std::size_t size);
// Copies the whole content of `in` to `out` from their current offsets, a piece at a time
// (kProgressPiece), each piece sent on to the device as the next is read; `progress` hears each
// piece and may stop the copy.
enum class CopyOutcome { kCopied, kFailed, kStopped };
CopyOutcome CopyContent(int in, int out, const ByteProgress& progress = {});
FsStatus ListOpenDirectory(DirHandle& dir, const std::string& path, std::uint32_t filter,
                           const ListVisitor& visit, ListDetail detail);
FileId IdOf(const struct stat& st);
FileTime ModifiedOf(const struct stat& st);

// The file system type ("vfat", "ext4", "fuse.fusefat") of the mount with the kernel's number
// `mount_id`, or, where the kernel gives no such number, of the mount of device `device`; empty
// when the mount table does not say.
std::string FileSystemTypeOfMount(std::uint64_t mount_id, std::uint64_t device);

// Whether `type` is one of the FAT file systems, which hold no file of 4 GiB or more.
bool IsFatFileSystem(std::string_view type);

}  // namespace talvex::platform::posix
