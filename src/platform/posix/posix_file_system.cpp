// The file-system primitives on POSIX. There are no hidden or system bits here; read-only is the
// absence of the owner's write permission, and a symbolic link is reported as a reparse point
// (never as a directory), so that nothing walks through it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/sendfile.h>
#endif

#include "platform/file_system.h"

namespace talvex::platform {
namespace {

FsStatus ErrnoStatus(int error, const std::string& path) {
  return FsStatus{error, std::strerror(error), path};
}

FsStatus LastErrno(const std::string& path) {
  return ErrnoStatus(errno, path);
}

std::uint32_t AttributesOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return kAttrReparsePoint;
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
    default:
      return kAttrNormal;
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
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
bool CopyContent(int in, int out, std::uint64_t size) {
#ifdef __linux__
  std::uint64_t left = size;
  while (left > 0) {
    ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, left, 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      break;  // not supported between these file systems: fall back below
    }
    if (copied == 0) return true;  // the file shrank while we copied
    left -= static_cast<std::uint64_t>(copied);
  }
  if (left == 0) return true;
  off_t offset = static_cast<off_t>(size - left);
  if (::lseek(in, offset, SEEK_SET) < 0 || ::lseek(out, offset, SEEK_SET) < 0) return false;
#else
  (void)size;
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
  }
}

class PosixFileSystem final : public FileSystem {
 public:
  FsStatus QueryAttributes(const std::string& path, std::uint32_t& attributes) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return LastErrno(path);
    attributes = AttributesOf(st);
    return {};
  }

  FsStatus ListDirectory(const std::string& path, std::uint32_t filter, const ListVisitor& visit,
                         ListDetail detail) override {
    DirHandle dir(::opendir(path.c_str()));
    if (dir.get() == nullptr) return LastErrno(path);
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
          return LastErrno(path + "/" + entry->d_name);
        }
        listed.attributes = AttributesOf(st);
        if (S_ISREG(st.st_mode)) listed.size = static_cast<std::uint64_t>(st.st_size);
      }
      if (listed.IsDirectory() && (filter & kAttrDirectory) == 0) continue;
      if (!visit(listed)) return {};
    }
  }

  FsStatus Exists(const std::string& path, bool& exists) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      exists = true;
      return {};
    }
    if (errno == ENOENT || errno == ENOTDIR) {
      exists = false;
      return {};
    }
    return LastErrno(path);
  }

  FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return LastErrno(path);
    if (S_ISLNK(st.st_mode)) return {};  // chmod would reach through to the link's target
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & kAttrReadOnly) != 0 ? mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH}
                                             : mode | S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) return LastErrno(path);
    return {};
  }

  FsStatus DeleteFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return LastErrno(path);
    return {};
  }

  FsStatus RemoveDirectory(const std::string& path) override {
    if (::rmdir(path.c_str()) != 0) return LastErrno(path);
    return {};
  }

  FsStatus CreateDirectory(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) != 0) return LastErrno(path);
    return {};
  }

  FsStatus FileLength(const std::string& path, std::uint64_t& length) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return LastErrno(path);
    if (S_ISDIR(st.st_mode)) return ErrnoStatus(EISDIR, path);
    length = static_cast<std::uint64_t>(st.st_size);
    return {};
  }

  FsStatus WriteFile(const std::string& path, std::string_view bytes) override {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid()) return LastErrno(path);
    if (!WriteAll(fd.get(), bytes.data(), bytes.size())) return LastErrno(path);
    if (fd.Close() != 0) return LastErrno(path);
    return {};
  }

  FsStatus CopyFile(const std::string& source, const std::string& target) override {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return LastErrno(source);
    struct stat source_stat {};
    if (::fstat(in.get(), &source_stat) != 0) return LastErrno(source);
    if (S_ISDIR(source_stat.st_mode)) return ErrnoStatus(EISDIR, source);
    struct stat target_stat {};
    if (::stat(target.c_str(), &target_stat) == 0 && target_stat.st_dev == source_stat.st_dev &&
        target_stat.st_ino == source_stat.st_ino) {
      // Truncating the target would empty the source: refuse rather than lose it.
      return ErrnoStatus(EINVAL, target);
    }
    FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid()) return LastErrno(target);
    if (!CopyContent(in.get(), out.get(), static_cast<std::uint64_t>(source_stat.st_size)) ||
        out.Close() != 0) {
      FsStatus failure = LastErrno(target);
      ::unlink(target.c_str());  // a half-copied file must not pass for the real one
      return failure;
    }
    return {};
  }

  FsStatus ResolvePath(const std::string& path, std::string& resolved) override {
    std::string head = path;
    std::string tail;
    for (;;) {
      char* real = ::realpath(head.empty() ? "." : head.c_str(), nullptr);
      if (real != nullptr) {
        resolved = real;
        std::free(real);
        if (!tail.empty()) {
          if (resolved.back() != '/') resolved += '/';
          resolved += tail;
        }
        return {};
      }
      if (errno != ENOENT) return LastErrno(path);
      std::size_t slash = head.find_last_of('/');
      if (slash == std::string::npos) {
        tail = tail.empty() ? head : head + "/" + tail;
        head = ".";
        continue;
      }
      if (head.find_first_not_of('/') == std::string::npos) return LastErrno(path);
      std::string last = head.substr(slash + 1);
      tail = tail.empty() ? last : last + "/" + tail;
      head.erase(slash == 0 ? 1 : slash);
    }
  }
};

}  // namespace

FsStatus NotADirectoryStatus(const std::string& path) {
  return ErrnoStatus(ENOTDIR, path);
}

FileSystem& NativeFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace talvex::platform
