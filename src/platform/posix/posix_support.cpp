#include "platform/posix/posix_support.h"
#include "platform/paths.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace talvex::platform::posix {
FsStatus ErrnoStatus(int error, const std::string& path) {
  return FsStatus{error, std::strerror(error), path};
}

FsStatus LastErrno(const std::string& path) {
  return ErrnoStatus(errno, path);
}

std::uint32_t AttributesOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return kAttrReparsePoint;
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return kAttrDevice;
  std::uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

std::uint32_t AttributesOfType(unsigned char type) {
  switch (type) {
    case DT_DIR:
      return kAttrDirectory;
    case DT_LNK:
      return kAttrReparsePoint;
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
      return kAttrDevice;
    default:
      return kAttrNormal;
  }
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

namespace {

// Moves one piece of `in` to `out` at their current offsets: the kernel's copy where it has one
// between these files, else through `buffer`. Returns the bytes moved, 0 at the end of `in`,
// -1 on failure (errno tells).
ssize_t CopyPiece(int in, int out, std::size_t size, std::vector<char>& buffer, bool& kernel) {
#ifdef __linux__
  while (kernel) {
    const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size, 0);
    if (copied >= 0) return copied;
    if (errno == EINTR) continue;
    kernel = false;  // not between these file systems: the offsets are where they were
  }
#else
  kernel = false;
#endif
  if (buffer.empty()) buffer.resize(kProgressPiece);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), std::min(size, buffer.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got;
    return WriteAll(out, buffer.data(), static_cast<std::size_t>(got)) ? got : -1;
  }
}

// A range of a file: where it starts and how long it is.
struct Range {
  std::uint64_t from = 0;
  std::uint64_t length = 0;
};

// Starts writing the range of `out` just copied to the device, and waits for the range copied
// before it: the device is kept busy while the next piece is read, and no more than two pieces
// ever wait in the cache, so a flush or a stop later never waits for a large backlog.
void WriteBehind(int out, Range just_copied, Range before) {
#ifdef __linux__
  if (before.length > 0) {
    ::sync_file_range(
        out, static_cast<off64_t>(before.from), static_cast<off64_t>(before.length),
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  }
  ::sync_file_range(out, static_cast<off64_t>(just_copied.from),
                    static_cast<off64_t>(just_copied.length), SYNC_FILE_RANGE_WRITE);
#else
  (void)out;
  (void)just_copied;
  (void)before;
#endif
}

}  // namespace

CopyOutcome CopyContent(int in, int out, const ByteProgress& progress) {
  std::vector<char> buffer;
  bool kernel = true;
  Range before;
  for (std::uint64_t done = 0;;) {
    const ssize_t moved = CopyPiece(in, out, kProgressPiece, buffer, kernel);
    if (moved < 0) return CopyOutcome::kFailed;
    if (moved == 0) return CopyOutcome::kCopied;
    const Range just_copied{done, static_cast<std::uint64_t>(moved)};
    WriteBehind(out, just_copied, before);
    before = just_copied;
    done += just_copied.length;
    if (progress && !progress(just_copied.length)) return CopyOutcome::kStopped;
  }
}

FsStatus ListOpenDirectory(DirHandle& dir, const std::string& path, std::uint32_t filter,
                           const ListVisitor& visit, ListDetail detail) {
  const int dir_fd = ::dirfd(dir.get());
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return LastErrno(path);
      return {};
    }
    if (IsDotOrDotDot(entry->d_name)) continue;
    DirEntry listed;
    listed.name = entry->d_name;
    listed.attributes = AttributesOfType(entry->d_type);
    if (detail == ListDetail::kFull || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;  // vanished since it was listed
        return LastErrno(JoinPath(path, entry->d_name));
      }
      listed.attributes = AttributesOf(st);
      if (S_ISREG(st.st_mode)) {
        listed.size = static_cast<std::uint64_t>(st.st_size);
        listed.modified = ModifiedOf(st);
      }
    }
    if (listed.IsDirectory() && (filter & kAttrDirectory) == 0) continue;
    if (!visit(listed)) return {};
  }
}

FileTime ModifiedOf(const struct stat& st) {
  return static_cast<FileTime>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::string FileSystemTypeOfMount(std::uint64_t mount_id, std::uint64_t device) {
  std::ifstream table("/proc/self/mountinfo");
  const std::string numbers = std::to_string(major(static_cast<dev_t>(device))) + ":" +
                              std::to_string(minor(static_cast<dev_t>(device)));
  std::string by_device;
  for (std::string line; std::getline(table, line);) {
    // "36 35 98:0 /root /mnt options... - fstype source super-options"
    std::istringstream fields(line);
    std::string id, parent, device_numbers;
    fields >> id >> parent >> device_numbers;
    const std::size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type;
    tail >> type;
    if (id == std::to_string(mount_id)) return type;
    if (device_numbers == numbers && by_device.empty()) by_device = type;
  }
  return by_device;
}

bool IsFatFileSystem(std::string_view type) {
  return type == "vfat" || type == "msdos" || type == "fat" || type == "fuse.fusefat" ||
         type == "fusefat";
}

FileId IdOf(const struct stat& st) {
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace talvex::platform::posix
