#include "platform/posix/posix_support.h"
#include "platform/paths.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Copies the whole content of `in` to `out`, using the kernel's copy where it has one.
bool CopyContent(int in, int out, std::uint64_t size, const ByteProgress& progress) {
  // Pieces small enough that a caller hears of a large file's progress several times a second
  // on a slow stick, large enough to cost nothing on a fast disk.
  constexpr std::uint64_t kPiece = std::uint64_t{16} << 20;
#ifdef __linux__
  std::uint64_t left = size;
  while (left > 0) {
    ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr,
                                       static_cast<std::size_t>(std::min(left, kPiece)), 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      break;  // not supported between these file systems: fall back below
    }
    if (copied == 0) return true;  // the file shrank while we copied
    left -= static_cast<std::uint64_t>(copied);
    if (progress) progress(static_cast<std::uint64_t>(copied));
  }
  if (left == 0) return true;
  off_t offset = static_cast<off_t>(size - left);
  if (::lseek(in, offset, SEEK_SET) < 0 || ::lseek(out, offset, SEEK_SET) < 0) return false;
#else
  (void)size;
  (void)kPiece;
#endif
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return false;
    if (progress) progress(static_cast<std::uint64_t>(got));
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
      if (S_ISREG(st.st_mode)) listed.size = static_cast<std::uint64_t>(st.st_size);
    }
    if (listed.IsDirectory() && (filter & kAttrDirectory) == 0) continue;
    if (!visit(listed)) return {};
  }
}

FileId IdOf(const struct stat& st) {
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace talvex::platform::posix
