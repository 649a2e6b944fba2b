// The file-system primitives on POSIX. There are no hidden or system bits here; read-only is the
// absence of the owner's write permission, and a symbolic link is reported as a reparse point
// (never as a directory), so that nothing walks through it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
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
        return LastErrno(ChildPath(path, entry->d_name));
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

// The folder part of a path, for the messages of a directory opened through "..".
std::string ParentPath(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return path == "." ? ".." : ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Whether the failed open of `name` met a link where a file or folder was expected.
bool IsLinkAt(int dir_fd, const char* name) {
  struct stat st {};
  return ::fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// Opens the plain file `name` for reading: never through a link, and never blocking on a FIFO.
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

// Creates `name` as a new file. A leftover entry of that name (a file, a link, a hard link of
// something elsewhere) is removed as an entry and the file created again, so nothing is ever
// written through it. `source` (when given) must not be that leftover: that would lose it.
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

// A name no other writer picks: the process and a counter of our own.
std::string TemporaryName(std::string_view name) {
  static std::atomic<unsigned> counter{0};
  return "." + std::string(name) + ".talvex-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1));
}

FsStatus OpenDirectoryAt(int dir_fd, const std::string& name, std::string path,
                         std::unique_ptr<Directory>& opened);

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

class PosixDirectory final : public Directory {
 public:
  PosixDirectory(int fd, std::string path, FileId id) : fd_(fd), path_(std::move(path)), id_(id) {}

  const std::string& path() const override { return path_; }
  FileId id() const override { return id_; }
  int fd() const { return fd_.get(); }

  FsStatus List(const ListVisitor& visit, ListDetail detail) override {
    // A descriptor of its own: the listing moves its position, and the handle stays reusable.
    const int listing = ::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return LastErrno(path_);
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
      FsStatus failure = LastErrno(path_);
      ::close(listing);
      return failure;
    }
    DirHandle handle(dir);
    return ListOpenDirectory(handle, path_, kListEverything, visit, detail);
  }

  FsStatus OpenSubdirectory(std::string_view name, std::unique_ptr<Directory>& opened) override {
    return OpenDirectoryAt(fd_.get(), std::string(name), ChildPath(path_, name), opened);
  }

  FsStatus OpenParent(std::unique_ptr<Directory>& opened) override {
    std::string parent = ParentPath(path_);
    FileDescriptor fd(::openat(fd_.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return LastErrno(parent);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return LastErrno(parent);
    opened = std::make_unique<PosixDirectory>(fd.release(), std::move(parent), IdOf(st));
    return {};
  }

  FsStatus SetAttributes(std::string_view name, std::uint32_t attributes) override {
    const std::string entry(name);
    struct stat st {};
    if (::fstatat(fd_.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return LastErrno(ChildPath(path_, name));
    }
    if (S_ISLNK(st.st_mode)) return {};  // a mode change would reach the link's target
    const mode_t old_mode = st.st_mode & 07777;
    const mode_t mode = (attributes & kAttrReadOnly) != 0
                            ? old_mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH}
                            : old_mode | S_IWUSR;
    if (mode != old_mode && ::fchmodat(fd_.get(), entry.c_str(), mode, 0) != 0) {
      return LastErrno(ChildPath(path_, name));
    }
    return {};
  }

  FsStatus DeleteFile(std::string_view name) override { return Unlink(name, 0); }
  FsStatus RemoveDirectory(std::string_view name) override { return Unlink(name, AT_REMOVEDIR); }

  FsStatus CreateDirectory(std::string_view name) override {
    if (::mkdirat(fd_.get(), std::string(name).c_str(), 0777) != 0) {
      return LastErrno(ChildPath(path_, name));
    }
    return {};
  }

  FsStatus CopyFileIn(std::string_view name, Directory& source,
                      std::string_view source_name) override {
    auto* from = dynamic_cast<PosixDirectory*>(&source);
    const std::string source_path = ChildPath(source.path(), source_name);
    if (from == nullptr) return ErrnoStatus(EXDEV, source_path);
    FileDescriptor in(-1);
    struct stat source_stat {};
    if (FsStatus opened =
            OpenPlainFile(from->fd(), std::string(source_name), source_path, in, source_stat);
        !opened) {
      return opened;
    }
    const std::string entry(name);
    const std::string target_path = ChildPath(path_, name);
    const FileId source_id = IdOf(source_stat);
    FileDescriptor out(-1);
    if (FsStatus created = CreateNewFile(fd_.get(), entry, target_path, out, &source_id);
        !created) {
      return created;
    }
    if (!CopyContent(in.get(), out.get(), static_cast<std::uint64_t>(source_stat.st_size)) ||
        out.Close() != 0) {
      FsStatus failure = LastErrno(target_path);
      ::unlinkat(fd_.get(), entry.c_str(), 0);  // a half-copied file must not pass for the real one
      return failure;
    }
    return {};
  }

  FsStatus WriteFileIn(std::string_view name, std::string_view bytes) override {
    const std::string entry(name);
    const std::string target_path = ChildPath(path_, name);
    FileDescriptor out(-1);
    if (FsStatus created = CreateNewFile(fd_.get(), entry, target_path, out, nullptr); !created) {
      return created;
    }
    if (!WriteAll(out.get(), bytes.data(), bytes.size()) || out.Close() != 0) {
      FsStatus failure = LastErrno(target_path);
      ::unlinkat(fd_.get(), entry.c_str(), 0);
      return failure;
    }
    return {};
  }

  FsStatus OpenForReading(std::string_view name, bool from_device,
                          std::unique_ptr<FileReader>& reader) override {
    const std::string path = ChildPath(path_, name);
    FileDescriptor fd(-1);
    struct stat st {};
    if (FsStatus opened = OpenPlainFile(fd_.get(), std::string(name), path, fd, st); !opened) {
      return opened;
    }
#ifdef POSIX_FADV_DONTNEED
    // Clean cached pages go, so the reads below reach the device; the file was flushed first.
    if (from_device) ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
#else
    (void)from_device;
#endif
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    reader = std::make_unique<PosixReader>(std::move(fd), path);
    return {};
  }

  bool ReadAhead(std::string_view name) override {
#if defined(POSIX_FADV_DONTNEED) && defined(POSIX_FADV_WILLNEED)
    FileDescriptor fd(-1);
    struct stat st {};
    if (!OpenPlainFile(fd_.get(), std::string(name), ChildPath(path_, name), fd, st)) return false;
    // The pages asked for come from the device and stay after the close, for the read to come.
    return ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED) == 0 &&
           ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_WILLNEED) == 0;
#else
    (void)name;
    return false;
#endif
  }

  FsStatus ReplaceFile(std::string_view name, std::string_view bytes) override {
    const std::string target_path = ChildPath(path_, name);
    std::string temporary;
    FileDescriptor out(-1);
    for (int attempt = 0; !out.valid(); ++attempt) {
      temporary = TemporaryName(name);
      out = FileDescriptor(::openat(fd_.get(), temporary.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (!out.valid() && (errno != EEXIST || attempt > 16)) return LastErrno(target_path);
    }
    const bool written = WriteAll(out.get(), bytes.data(), bytes.size()) &&
                         ::fdatasync(out.get()) == 0 && out.Close() == 0;
    if (!written ||
        ::renameat(fd_.get(), temporary.c_str(), fd_.get(), std::string(name).c_str()) != 0) {
      FsStatus failure = LastErrno(target_path);
      ::unlinkat(fd_.get(), temporary.c_str(), 0);
      return failure;
    }
    return {};
  }

 private:
  FsStatus Unlink(std::string_view name, int flags) {
    if (::unlinkat(fd_.get(), std::string(name).c_str(), flags) != 0) {
      return LastErrno(ChildPath(path_, name));
    }
    return {};
  }

  FileDescriptor fd_;
  std::string path_;
  FileId id_;
};

// The folder that holds `path` (links in it followed, as for any path a caller hands us) and the
// entry's name in it.
FsStatus OpenFolderOf(const std::string& path, std::unique_ptr<PosixDirectory>& folder,
                      std::string& name) {
  const std::size_t slash = path.find_last_of('/');
  const std::string parent =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  FileDescriptor fd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return LastErrno(path);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastErrno(path);
  folder = std::make_unique<PosixDirectory>(fd.release(), parent, IdOf(st));
  return {};
}

FsStatus OpenDirectoryAt(int dir_fd, const std::string& name, std::string path,
                         std::unique_ptr<Directory>& opened) {
  FileDescriptor fd(
      ::openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    const int error = errno;
    if (error == ELOOP || IsLinkAt(dir_fd, name.c_str())) return RefusalStatus(kLinkRefused, path);
    return ErrnoStatus(error, path);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return LastErrno(path);
  opened = std::make_unique<PosixDirectory>(fd.release(), std::move(path), IdOf(st));
  return {};
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
    FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.valid()) return LastErrno(path);
    if (!WriteAll(fd.get(), bytes.data(), bytes.size())) return LastErrno(path);
    if (fd.Close() != 0) return LastErrno(path);
    return {};
  }

  FsStatus CopyFile(const std::string& source, const std::string& target) override {
    std::unique_ptr<PosixDirectory> from;
    std::unique_ptr<PosixDirectory> to;
    std::string source_name;
    std::string target_name;
    if (FsStatus opened = OpenFolderOf(source, from, source_name); !opened) return opened;
    if (FsStatus opened = OpenFolderOf(target, to, target_name); !opened) return opened;
    return to->CopyFileIn(target_name, *from, source_name);
  }

  std::vector<FsStatus> Flush(const std::string& root,
                              const std::vector<std::string>& written) override {
    (void)written;  // one call covers the whole file system they are on
    FileDescriptor fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return {LastErrno(root)};
#ifdef __linux__
    if (::syncfs(fd.get()) != 0) return {LastErrno(root)};
#else
    ::sync();
#endif
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
    opened = std::make_unique<PosixDirectory>(fd.release(), path, IdOf(st));
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

FsStatus RefusalStatus(std::string_view why, const std::string& path) {
  return FsStatus{ECANCELED, std::string(why), path};
}

FsStatus MismatchStatus(std::string_view why, const std::string& path) {
  return FsStatus{EIO, std::string(why), path};
}

FileSystem& NativeFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace talvex::platform
