// Directory handles on POSIX: every operation on an entry goes through the directory's open
// descriptor with the *at calls, and none follows a link named by the entry.
#include "platform/posix/posix_directory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_support.h"
#include "platform/temporary_files.h"

namespace talvex::platform::posix {
namespace {

// The kernel's number of the mount `fd` lies on. Without it (a kernel before 5.8) the device
// number stands in, which tells mounts of other file systems apart but not bind mounts.
std::uint64_t MountIdOf(int fd, const FileId& id) {
  struct statx stx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) == 0 &&
      (stx.stx_mask & STATX_MNT_ID) != 0) {
    return stx.stx_mnt_id;
  }
  return id.volume;
}

class PosixDirectory final : public Directory {
 public:
  PosixDirectory(int fd, std::string path, FileId id) : fd_(fd), path_(std::move(path)), id_(id) {}

  const std::string& path() const override { return path_; }
  FileId id() const override { return id_; }
  // Asked for only where a walk must not leave its mount: most folders never need it, and on a
  // FUSE drive each question is a round trip to its process.
  std::uint64_t mount_id() const override {
    if (!mount_id_) mount_id_ = MountIdOf(fd_.get(), id_);
    return *mount_id_;
  }
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

  FsStatus EntryAttributes(std::string_view name, std::uint32_t& attributes) override {
    struct stat st {};
    if (::fstatat(fd_.get(), std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return LastErrno(JoinPath(path_, name));
    }
    attributes = AttributesOf(st);
    return {};
  }

  FsStatus LockForBuild(bool& busy) override {
    busy = false;
    // flock belongs to this open descriptor, so another process - or another build in this one,
    // which opens the folder anew - is refused, and the kernel drops it with the descriptor.
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      busy = errno == EWOULDBLOCK;
      return LastErrno(path_);
    }
    return {};
  }

  FsStatus OpenSubdirectory(std::string_view name, std::unique_ptr<Directory>& opened) override {
    return OpenDirectoryAt(fd_.get(), std::string(name), JoinPath(path_, name), opened);
  }

  FsStatus OpenParent(std::unique_ptr<Directory>& opened) override {
    // The path is for messages only; ".." itself is opened through the descriptor.
    std::string parent = ParentFolder(path_);
    if (parent.empty()) parent = path_ == "." ? ".." : ".";
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
      return LastErrno(JoinPath(path_, name));
    }
    if (S_ISLNK(st.st_mode)) return {};  // a mode change would reach the link's target
    const mode_t old_mode = st.st_mode & 07777;
    const mode_t mode = (attributes & kAttrReadOnly) != 0
                            ? old_mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH}
                            : old_mode | S_IWUSR;
    if (mode != old_mode && ::fchmodat(fd_.get(), entry.c_str(), mode, 0) != 0) {
      return LastErrno(JoinPath(path_, name));
    }
    return {};
  }

  FsStatus DeleteFile(std::string_view name) override { return Unlink(name, 0); }
  FsStatus RemoveDirectory(std::string_view name) override { return Unlink(name, AT_REMOVEDIR); }

  FsStatus CreateDirectory(std::string_view name) override {
    if (::mkdirat(fd_.get(), std::string(name).c_str(), 0777) != 0) {
      return LastErrno(JoinPath(path_, name));
    }
    return {};
  }

  FsStatus CopyFileIn(std::string_view name, Directory& source, std::string_view source_name,
                      const ByteProgress& progress) override {
    auto* from = dynamic_cast<PosixDirectory*>(&source);
    const std::string source_path = JoinPath(source.path(), source_name);
    if (from == nullptr) return ErrnoStatus(EXDEV, source_path);
    FileDescriptor in(-1);
    struct stat source_stat {};
    if (FsStatus opened =
            OpenPlainFile(from->fd(), std::string(source_name), source_path, in, source_stat);
        !opened) {
      return opened;
    }
    const std::string entry(name);
    const std::string target_path = JoinPath(path_, name);
    const FileId source_id = IdOf(source_stat);
    FileDescriptor out(-1);
    if (FsStatus created = CreateNewFile(fd_.get(), entry, target_path, out, &source_id);
        !created) {
      return created;
    }
    const CopyOutcome copied = CopyContent(in.get(), out.get(), progress);
    // The copy carries the kit file's time, which a later build compares to tell it unchanged.
    const timespec times[2] = {{0, UTIME_OMIT}, source_stat.st_mtim};
    if (copied != CopyOutcome::kCopied || ::futimens(out.get(), times) != 0 || out.Close() != 0) {
      FsStatus failure = copied == CopyOutcome::kStopped
                             ? RefusalStatus(FsReason::kStopped, target_path)
                             : LastErrno(target_path);
      ::unlinkat(fd_.get(), entry.c_str(), 0);  // a half-copied file must not pass for the real one
      return failure;
    }
    return {};
  }

  FsStatus Rename(std::string_view from, std::string_view to) override {
    if (::renameat(fd_.get(), std::string(from).c_str(), fd_.get(), std::string(to).c_str()) != 0) {
      return LastErrno(JoinPath(path_, from));
    }
    return {};
  }

  FsStatus SetModified(std::string_view name, FileTime time) override {
    const timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(time / 1'000'000'000), static_cast<long>(time % 1'000'000'000)}};
    if (::utimensat(fd_.get(), std::string(name).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
      return LastErrno(JoinPath(path_, name));
    }
    return {};
  }

  FsStatus SyncVolume() override {
#ifdef __linux__
    if (::syncfs(fd_.get()) != 0) return LastErrno(path_);
#else
    ::sync();
#endif
    return {};
  }

  FsStatus Volume(VolumeFacts& facts) override {
    facts = {};
    struct statvfs sv {};
    if (::fstatvfs(fd_.get(), &sv) != 0) return LastErrno(path_);
    // Some volumes (FAT through FUSE) report no size at all: unknown room, not none.
    if (sv.f_blocks > 0) facts.free_bytes = std::uint64_t{sv.f_bavail} * sv.f_frsize;
    if (IsFatFileSystem(FileSystemTypeOfMount(mount_id(), id_.volume))) {
      facts.largest_file = kFatLargestFile;
    }
    return {};
  }

  FsStatus WriteFileIn(std::string_view name, std::string_view bytes) override {
    const std::string entry(name);
    const std::string target_path = JoinPath(path_, name);
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
    const std::string path = JoinPath(path_, name);
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
    reader = ReaderOf(std::move(fd), path);
    return {};
  }

  bool ReadAhead(std::string_view name) override {
#if defined(POSIX_FADV_DONTNEED) && defined(POSIX_FADV_WILLNEED)
    FileDescriptor fd(-1);
    struct stat st {};
    if (!OpenPlainFile(fd_.get(), std::string(name), JoinPath(path_, name), fd, st)) return false;
    // The pages asked for come from the device and stay after the close, for the read to come.
    return ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED) == 0 &&
           ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_WILLNEED) == 0;
#else
    (void)name;
    return false;
#endif
  }

  FsStatus ReplaceFile(std::string_view name, std::string_view bytes) override {
    const std::string target_path = JoinPath(path_, name);
    RemoveStaleTemporaries(name);
    std::string temporary;
    if (!WriteUnnamed(name, bytes, temporary)) {
      if (FsStatus failure = WriteNamedTemporary(name, bytes, temporary); !failure) {
        return failure;
      }
    }
    if (::renameat(fd_.get(), temporary.c_str(), fd_.get(), std::string(name).c_str()) != 0) {
      FsStatus failure = LastErrno(target_path);
      ::unlinkat(fd_.get(), temporary.c_str(), 0);
      return failure;
    }
    return {};
  }

 private:
  // Writes `bytes` to an unnamed file, flushes it and only then gives it a temporary name beside
  // `name`, so a build killed while it writes leaves nothing behind. False where the system
  // has no unnamed files (or no /proc to name one through); the caller then takes a named one.
  bool WriteUnnamed(std::string_view name, std::string_view bytes, std::string& temporary) {
#ifdef O_TMPFILE
    FileDescriptor out(::openat(fd_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!out.valid() || !WriteAll(out.get(), bytes.data(), bytes.size()) ||
        ::fdatasync(out.get()) != 0) {
      return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(out.get());
    for (int attempt = 0; attempt <= 16; ++attempt) {
      temporary = TemporaryName(name);
      if (::linkat(AT_FDCWD, self.c_str(), fd_.get(), temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        if (out.Close() == 0) return true;
        ::unlinkat(fd_.get(), temporary.c_str(), 0);
        break;
      }
      if (errno != EEXIST) break;
    }
    temporary.clear();
#else
    (void)name;
    (void)bytes;
    (void)temporary;
#endif
    return false;
  }

  FsStatus WriteNamedTemporary(std::string_view name, std::string_view bytes,
                               std::string& temporary) {
    const std::string target_path = JoinPath(path_, name);
    FileDescriptor out(-1);
    for (int attempt = 0; !out.valid(); ++attempt) {
      temporary = TemporaryName(name);
      out = FileDescriptor(::openat(fd_.get(), temporary.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (!out.valid() && (errno != EEXIST || attempt > 16)) return LastErrno(target_path);
    }
    if (!WriteAll(out.get(), bytes.data(), bytes.size()) || ::fdatasync(out.get()) != 0 ||
        out.Close() != 0) {
      FsStatus failure = LastErrno(target_path);
      ::unlinkat(fd_.get(), temporary.c_str(), 0);
      return failure;
    }
    return {};
  }

  // Removes what builds killed before they could rename their temporary file left beside `name`.
  void RemoveStaleTemporaries(std::string_view name) {
    for (const std::string& leftover : StaleTemporaries(*this, name)) {
      ::unlinkat(fd_.get(), leftover.c_str(), 0);
    }
  }

  FsStatus Unlink(std::string_view name, int flags) {
    if (::unlinkat(fd_.get(), std::string(name).c_str(), flags) != 0) {
      return LastErrno(JoinPath(path_, name));
    }
    return {};
  }

  FileDescriptor fd_;
  std::string path_;
  FileId id_;
  mutable std::optional<std::uint64_t> mount_id_;
};

}  // namespace

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

FsStatus OpenDirectoryFd(int fd, std::string path, FileId id, std::unique_ptr<Directory>& opened) {
  opened = std::make_unique<PosixDirectory>(fd, std::move(path), id);
  return {};
}

}  // namespace talvex::platform::posix
