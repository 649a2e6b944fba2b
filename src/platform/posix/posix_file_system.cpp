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
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/posix_directory.h"
#include "platform/posix/posix_support.h"

namespace talvex::platform {
namespace {

using posix::AttributesOf;
using posix::DirHandle;
using posix::ErrnoStatus;
using posix::FileDescriptor;
using posix::IdOf;
using posix::LastErrno;
using posix::ListOpenDirectory;
using posix::OpenDirectoryFd;

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
    return ListOpenDirectory(dir, path, filter, visit, detail);
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

  FsStatus FileLength(const std::string& path, std::uint64_t& length) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return LastErrno(path);
    if (S_ISDIR(st.st_mode)) return ErrnoStatus(EISDIR, path);
    length = static_cast<std::uint64_t>(st.st_size);
    return {};
  }

  FsStatus Identify(const std::string& path, FileId& id) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return LastErrno(path);
    id = IdOf(st);
    return {};
  }

  FsStatus OpenDirectory(const std::string& path, std::unique_ptr<Directory>& opened) override {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return LastErrno(path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return LastErrno(path);
    return OpenDirectoryFd(fd.release(), path, IdOf(st), opened);
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

FsStatus RefusalStatus(FsReason why, const std::string& path) {
  return FsStatus{ECANCELED, {}, path, why};
}

FsStatus RefusalStatus(std::string_view why, const std::string& path) {
  return FsStatus{ECANCELED, std::string(why), path, FsReason::kRefused};
}

FsStatus MismatchStatus(std::string_view why, const std::string& path) {
  return FsStatus{EIO, std::string(why), path};
}

FsStatus ReadSmallFile(const std::string& path, std::size_t limit, std::string& content) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return LastErrno(path);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastErrno(path);
  if (S_ISDIR(st.st_mode)) return ErrnoStatus(EISDIR, path);
  if (!S_ISREG(st.st_mode)) return RefusalStatus(kSpecialFileRefused, path);
  content.assign(limit + 1, '\0');
  std::size_t got = 0;
  while (got < content.size()) {
    const ssize_t read = ::read(fd.get(), content.data() + got, content.size() - got);
    if (read == 0) break;
    if (read < 0) {
      if (errno == EINTR) continue;
      // EAGAIN too: a "file" that has nothing to give without waiting (/proc/kmsg) is no
      // password file.
      return LastErrno(path);
    }
    got += static_cast<std::size_t>(read);
  }
  content.resize(got);
  return {};
}

bool IsDeviceGone(int code) {
  switch (code) {
    case ENODEV:
    case ENXIO:
    case ENOTCONN:  // a FUSE volume whose driver went away
    case ESHUTDOWN:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
      return true;
    default:
      return false;
  }
}

FsReason ReasonOfCode(int code) {
  if (IsDeviceGone(code)) return FsReason::kDriveGone;
  switch (code) {
    case EIO:
      return FsReason::kDeviceError;
    case ENOENT:
      return FsReason::kNotFound;
    case EACCES:
    case EPERM:
      return FsReason::kAccessDenied;
    case EROFS:
      return FsReason::kWriteProtected;
    case EBUSY:
    case ETXTBSY:
      return FsReason::kInUse;
    case ENOSPC:
    case EDQUOT:
      return FsReason::kDiskFull;
    case EFBIG:
      return FsReason::kFileTooLarge;
    case ENAMETOOLONG:
    case EILSEQ:
      return FsReason::kNameNotAllowed;
    default:
      return FsReason::kSystem;
  }
}

FileSystem& NativeFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace talvex::platform
