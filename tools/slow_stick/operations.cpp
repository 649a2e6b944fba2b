#include "operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "stick.h"

namespace talvex::slow_stick {

namespace {

Stick& TheStick() {
  return *static_cast<Stick*>(fuse_get_context()->private_data);
}

int Backing() {
  return TheStick().backing();
}

// The path the kernel gives ("/a/b") below the backing folder, for the *at calls.
const char* Below(const char* path) {
  return path[1] != '\0' ? path + 1 : ".";
}

int Result(int status) {
  return status == -1 ? -errno : 0;
}

// Bytes moved, or the error the call failed with.
int Moved(ssize_t count) {
  return count == -1 ? -errno : static_cast<int>(count);
}

bool Pulled() {
  return TheStick().pulled();
}

// The stick's cache and the kernel's page cache are what the layer models; a backing folder on
// tmpfs or with odd alignment must not refuse an O_DIRECT opening, so the backing file is opened
// without it (the kernel still sends every O_DIRECT read and write here).
int BackingFlags(int flags) {
  return (flags & ~O_DIRECT) | O_CLOEXEC;
}

struct OpenFolder {
  DIR* stream = nullptr;
  dirent* pending = nullptr;  // read but not yet taken by the kernel
  off_t offset = 0;
};

OpenFolder& FolderOf(fuse_file_info* fi) {
  return *reinterpret_cast<OpenFolder*>(fi->fh);
}

void* Init(fuse_conn_info* /*conn*/, fuse_config* cfg) {
  cfg->use_ino = 1;
  cfg->nullpath_ok = 1;
  // An unlinked file that is still open vanishes at once, as on a real drive, instead of lingering
  // as a ".fuse_hidden" file in listings; every call on an open file goes through its handle.
  cfg->hard_remove = 1;
  // The kernel's page cache in front of the stick, as in front of a block device: plain reads of
  // what was just written are answered from it, reads that bypass it reach the stick. Nor does
  // opening a file again drop what the cache holds of it (FUSE's default): a read-ahead through
  // one descriptor serves the reads through the next, as on a block device, and is not paid twice.
  // Nothing changes the backing folder behind the stick's back while it is mounted.
  cfg->direct_io = 0;
  cfg->kernel_cache = 1;
  cfg->auto_cache = 0;
  Stick& stick = TheStick();
  stick.StartWatching();
  return &stick;
}

void Destroy(void* private_data) {
  static_cast<Stick*>(private_data)->StopWatching();
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  if (fi != nullptr) return Result(fstat(static_cast<int>(fi->fh), st));
  return Result(fstatat(Backing(), Below(path), st, AT_SYMLINK_NOFOLLOW));
}

int ReadLink(const char* path, char* target, size_t size) {
  if (Pulled()) return -EIO;
  const ssize_t length = readlinkat(Backing(), Below(path), target, size - 1);
  if (length == -1) return -errno;
  target[length] = '\0';
  return 0;
}

int MakeDir(const char* path, mode_t mode) {
  if (Pulled()) return -EIO;
  return Result(mkdirat(Backing(), Below(path), mode));
}

int Unlink(const char* path) {
  if (Pulled()) return -EIO;
  return Result(unlinkat(Backing(), Below(path), 0));
}

int RemoveDir(const char* path) {
  if (Pulled()) return -EIO;
  return Result(unlinkat(Backing(), Below(path), AT_REMOVEDIR));
}

int SymLink(const char* target, const char* path) {
  if (Pulled()) return -EIO;
  return Result(symlinkat(target, Backing(), Below(path)));
}

int Rename(const char* from, const char* to, unsigned int flags) {
  if (Pulled()) return -EIO;
  return Result(renameat2(Backing(), Below(from), Backing(), Below(to), flags));
}

int Link(const char* from, const char* to) {
  if (Pulled()) return -EIO;
  return Result(linkat(Backing(), Below(from), Backing(), Below(to), 0));
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  if (fi != nullptr) return Result(fchmod(static_cast<int>(fi->fh), mode));
  return Result(fchmodat(Backing(), Below(path), mode, 0));
}

int ChangeOwner(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  if (fi != nullptr) return Result(fchown(static_cast<int>(fi->fh), uid, gid));
  return Result(fchownat(Backing(), Below(path), uid, gid, AT_SYMLINK_NOFOLLOW));
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  if (fi != nullptr) return Result(ftruncate(static_cast<int>(fi->fh), size));
  const int fd = openat(Backing(), Below(path), O_WRONLY | O_CLOEXEC);
  if (fd == -1) return -errno;
  const int status = Result(ftruncate(fd, size));
  close(fd);
  return status;
}

int Open(const char* path, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  const int fd = openat(Backing(), Below(path), BackingFlags(fi->flags));
  if (fd == -1) return -errno;
  fi->fh = static_cast<uint64_t>(fd);
  return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  const int fd = openat(Backing(), Below(path), BackingFlags(fi->flags) | O_CREAT, mode);
  if (fd == -1) return -errno;
  fi->fh = static_cast<uint64_t>(fd);
  return 0;
}

int Read(const char* /*path*/, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  const ssize_t count = pread(static_cast<int>(fi->fh), buffer, size, offset);
  if (count > 0 && !TheStick().Read(static_cast<size_t>(count))) return -EIO;
  return Moved(count);
}

int Write(const char* /*path*/, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  const ssize_t count = pwrite(static_cast<int>(fi->fh), buffer, size, offset);
  if (count > 0 && !TheStick().Wrote(static_cast<size_t>(count))) return -EIO;
  return Moved(count);
}

int StatFs(const char* /*path*/, struct statvfs* st) {
  if (Pulled()) return -EIO;
  return Result(fstatvfs(Backing(), st));
}

// Called at every close of a descriptor; the backing file's own close reports its late errors.
int Flush(const char* /*path*/, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  return Result(close(dup(static_cast<int>(fi->fh))));
}

int Release(const char* /*path*/, fuse_file_info* fi) {
  close(static_cast<int>(fi->fh));
  return 0;
}

int FSync(const char* /*path*/, int data_only, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  const int fd = static_cast<int>(fi->fh);
  return Result(data_only != 0 ? fdatasync(fd) : fsync(fd));
}

int OpenDir(const char* path, fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  const int fd = openat(Backing(), Below(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1) return -errno;
  DIR* stream = fdopendir(fd);
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    return -error;
  }
  fi->fh = reinterpret_cast<uint64_t>(new OpenFolder{stream});
  return 0;
}

// Hands the kernel entries from `offset` on until its buffer is full; the entry that did not fit
// is kept for the next call.
int ReadDir(const char* /*path*/, void* buffer, fuse_fill_dir_t fill, off_t offset,
            fuse_file_info* fi, fuse_readdir_flags /*flags*/) {
  if (Pulled()) return -EIO;
  OpenFolder& folder = FolderOf(fi);
  if (offset != folder.offset) {
    seekdir(folder.stream, offset);
    folder.pending = nullptr;
    folder.offset = offset;
  }
  for (;;) {
    if (folder.pending == nullptr) {
      folder.pending = readdir(folder.stream);
      if (folder.pending == nullptr) return 0;
    }
    struct stat st {};
    st.st_ino = folder.pending->d_ino;
    st.st_mode = static_cast<mode_t>(DTTOIF(folder.pending->d_type));
    const off_t next = telldir(folder.stream);
    if (fill(buffer, folder.pending->d_name, &st, next, static_cast<fuse_fill_dir_flags>(0)) != 0) {
      return 0;
    }
    folder.pending = nullptr;
    folder.offset = next;
  }
}

int ReleaseDir(const char* /*path*/, fuse_file_info* fi) {
  OpenFolder* folder = &FolderOf(fi);
  closedir(folder->stream);
  delete folder;
  return 0;
}

int SetTimes(const char* path, const timespec times[2], fuse_file_info* fi) {
  if (Pulled()) return -EIO;
  if (fi != nullptr) return Result(futimens(static_cast<int>(fi->fh), times));
  return Result(utimensat(Backing(), Below(path), times, AT_SYMLINK_NOFOLLOW));
}

fuse_operations MakeOperations() {
  fuse_operations ops{};
  ops.init = Init;
  ops.destroy = Destroy;
  ops.getattr = GetAttr;
  ops.readlink = ReadLink;
  ops.mkdir = MakeDir;
  ops.unlink = Unlink;
  ops.rmdir = RemoveDir;
  ops.symlink = SymLink;
  ops.rename = Rename;
  ops.link = Link;
  ops.chmod = ChangeMode;
  ops.chown = ChangeOwner;
  ops.truncate = Truncate;
  ops.open = Open;
  ops.create = Create;
  ops.read = Read;
  ops.write = Write;
  ops.statfs = StatFs;
  ops.flush = Flush;
  ops.release = Release;
  ops.fsync = FSync;
  ops.opendir = OpenDir;
  ops.readdir = ReadDir;
  ops.releasedir = ReleaseDir;
  ops.utimens = SetTimes;
  return ops;
}

}  // namespace

const fuse_operations& StickOperations() {
  static const fuse_operations operations = MakeOperations();
  return operations;
}

}  // namespace talvex::slow_stick
