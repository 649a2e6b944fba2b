#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace talvex::platform::posix {
namespace {

class PosixReader final : public FileReader {
 public:
  PosixReader(FileDescriptor fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  FsStatus Read(char* buffer, std::size_t size, std::size_t& got) override {
    for (;;) {
      const ssize_t read = ::read(fd_.get(), buffer, size);
      if (read >= 0) {
        got = static_cast<std::size_t>(read);
        return {};
      }
      if (errno != EINTR) return LastErrno(path_);
    }
  }

 private:
  FileDescriptor fd_;
  std::string path_;
};

}  // namespace

bool IsLinkAt(int dir_fd, const char* name) {
  struct stat st {};
  return ::fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

FsStatus OpenPlainFile(int dir_fd, const std::string& name, const std::string& path,
                       FileDescriptor& file, struct stat& st) {
  FileDescriptor opened(
      ::openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!opened.valid()) {
    const int error = errno;
    if (error == ELOOP || IsLinkAt(dir_fd, name.c_str())) return RefusalStatus(kLinkRefused, path);
    return ErrnoStatus(error, path);
  }
  if (::fstat(opened.get(), &st) != 0) return LastErrno(path);
  if (S_ISDIR(st.st_mode)) return ErrnoStatus(EISDIR, path);
  if (!S_ISREG(st.st_mode)) return RefusalStatus(kSpecialFileRefused, path);
  file = FileDescriptor(opened.release());
  return {};
}

FsStatus CreateNewFile(int dir_fd, const std::string& name, const std::string& path,
                       FileDescriptor& file, const FileId* source) {
  for (int attempt = 0;; ++attempt) {
    FileDescriptor created(
        ::openat(dir_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (created.valid()) {
      file = FileDescriptor(created.release());
      return {};
    }
    if (errno != EEXIST || attempt > 0) return LastErrno(path);
    struct stat st {};
    if (source != nullptr && ::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        IdOf(st) == *source) {
      // Replacing the target would delete the very file we copy from.
      return ErrnoStatus(EINVAL, path);
    }
    if (::unlinkat(dir_fd, name.c_str(), 0) != 0) return LastErrno(path);
  }
}

std::unique_ptr<FileReader> ReaderOf(FileDescriptor fd, std::string path) {
  return std::make_unique<PosixReader>(std::move(fd), std::move(path));
}

}  // namespace talvex::platform::posix
