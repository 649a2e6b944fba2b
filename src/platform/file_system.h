// The file-system primitives the core is built on. Paths are native UTF-8 texts: on Windows a
// drive letter, colon and backslashes; elsewhere an ordinary POSIX path. The core composes them
// with JoinPayloadPath (paths.h) and never looks at the separator itself except through
// kPathSeparator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::platform {

// Attribute bits, the values Windows uses. POSIX reports only directory, read-only (no write
// permission for the owner) and reparse point (a symbolic link).
enum Attribute : std::uint32_t {
  kAttrNormal = 0,
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrDirectory = 16,
  kAttrDevice = 0x40,  // on POSIX: a FIFO, socket or device node; never read for a copy
  kAttrReparsePoint = 0x400,
};

// Listing filter that must see everything: hidden + system + directory.
inline constexpr std::uint32_t kListEverything = kAttrHidden | kAttrSystem | kAttrDirectory;

// Why an operation failed, in terms the report words in the user's language. The platform
// layer only classifies; it holds no user-visible words. kSystem: none of the conditions below,
// and only the system's own text (FsStatus::message) says what happened.
enum class FsReason {
  kSystem,
  // Conditions the system reports, classified from its error code (ReasonOf).
  kDriveGone,       // the device was pulled, powered off or is not ready
  kDeviceError,     // the device failed to read or write (a failing or half-pulled stick)
  kNotFound,        // no such file or folder
  kAccessDenied,    // the system refused the access
  kWriteProtected,  // the volume is read-only
  kInUse,           // another program holds the file
  kDiskFull,        // no room left on the volume
  kFileTooLarge,    // larger than the volume's file system can hold in one file
  kNameNotAllowed,  // a name the volume's file system cannot hold
  // Refusals of the program's own: the system would have done it, but the program must not.
  kLink,             // the entry is a link, which the program never follows
  kSpecialFile,      // a pipe, device or socket, never read as data
  kMovedDuringWork,  // a folder was moved or replaced while the program worked in it
  kKitInside,        // the kit (the same folder under another name) lies there
  kOtherMount,       // another file system is mounted there
  kStopped,          // the caller asked to stop before the work was done
  kRefused,          // refused for a reason the caller words itself (FsStatus::message)
};

// The outcome of one primitive. code 0 means success; otherwise the OS error code (errno or
// GetLastError) and a readable message naming what failed.
struct FsStatus {
  int code = 0;
  std::string message;  // the system's own text for `code`; the caller's words for kRefused
  std::string path;     // the entry the failure concerns (deep inside a folder copy, say)
  FsReason reason = FsReason::kSystem;  // set for refusals; else see ReasonOf

  bool ok() const { return code == 0; }
  explicit operator bool() const { return ok(); }
};

// One entry of a directory listing. Attributes and size come with the listing itself, so
// callers never need a second query for an entry they just listed.
// A moment as file systems keep it: nanoseconds since 1970-01-01 00:00 UTC.
using FileTime = std::int64_t;

// FAT keeps a file's modification time to 2 seconds: two times this close are one to a stick.
inline constexpr FileTime kFatTimeStep = 2'000'000'000;

struct DirEntry {
  std::string_view name;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  FileTime modified = 0;  // of a plain file, with ListDetail::kFull

  bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
  bool IsLink() const { return (attributes & kAttrReparsePoint) != 0; }
  bool IsSpecial() const { return (attributes & kAttrDevice) != 0; }
};

// What a file-system object is, whatever names lead to it: device and inode on POSIX, volume
// serial number and file index on Windows. Two paths that differ in letter case on a
// case-insensitive volume, or that reach one folder through a link or a bind mount, have the
// same identity.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

// A file size as Windows listing records give it: two unsigned 32-bit words, the upper one
// counting units of 4294967296 bytes. Kept exact in 64 bits, so 2-4 GiB never turns negative.
inline constexpr std::uint64_t FileSizeFromWords(std::uint32_t high, std::uint32_t low) {
  return std::uint64_t{high} * 4294967296u + low;
}

// Return false to stop the listing early.
using ListVisitor = std::function<bool(const DirEntry&)>;

// Hears how many more bytes a long copy or read-back has moved, a piece at a time (at most
// kProgressPiece), so that a caller can tell how far it has come; returning false stops the
// work there, which then fails as FsReason::kStopped. Called on the thread doing the work.
using ByteProgress = std::function<bool(std::uint64_t bytes)>;

// The most a copy or read-back moves between two calls of its ByteProgress: on a USB 2 stick
// half a second's writing, so a stop is heard within a second.
inline constexpr std::uint64_t kProgressPiece = std::uint64_t{4} << 20;

// The largest file FAT32 holds: 4 GiB less one byte.
inline constexpr std::uint64_t kFatLargestFile = 4294967295;

// What a volume allows, as far as the system tells.
struct VolumeFacts {
  std::optional<std::uint64_t> free_bytes;    // room left; nothing where unknown
  std::optional<std::uint64_t> largest_file;  // what its file system holds in one file (FAT32)
};

// Why a copy or an open refused an entry that is not a plain file or folder. The build copies
// only what it can read as ordinary data; anything else is named in the report, never followed.
inline constexpr FsReason kLinkRefused = FsReason::kLink;
inline constexpr FsReason kSpecialFileRefused = FsReason::kSpecialFile;

// How much a listing must tell about each entry. kTypes tells files, directories and links apart
// and gives every attribute that can refuse a deletion on this platform; it is cheaper on POSIX,
// where the other details (read-only, size) cost a stat per entry and where no attribute of a
// file stands in the way of deleting it. On Windows both give everything.
enum class ListDetail { kTypes, kFull };

// An open directory. Everything done to its entries goes through the open handle, never through
// the directory's path again, so a link, a junction or a rename elsewhere cannot redirect it;
// and no operation on an entry follows the entry itself if it is a link. Created files are
// created new: a leftover of the same name is removed as an entry first (a link or a hard link
// goes, whatever it pointed at stays untouched), never written through.
// A file opened for reading it back.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // Reads up to `size` bytes; `got` 0 at the end of the file.
  virtual FsStatus Read(char* buffer, std::size_t size, std::size_t& got) = 0;
};

class Directory {
 public:
  virtual ~Directory() = default;

  // The path it was opened as, for messages; no operation on its entries uses it.
  virtual const std::string& path() const = 0;
  virtual FileId id() const = 0;
  // Which mount it lies on: a folder with another value than its parent is a mount point, even
  // one of the same file system (a bind mount), whose device and inode numbers tell nothing.
  // Where the platform mounts volumes only on reparse points (never entered), the volume.
  virtual std::uint64_t mount_id() const { return id().volume; }

  // Lists every entry ("." and ".." are never passed on); links carry kAttrReparsePoint,
  // FIFOs, sockets and device nodes kAttrDevice.
  virtual FsStatus List(const ListVisitor& visit, ListDetail detail) = 0;

  // The attributes of the entry `name` itself (a link is reported as a link).
  virtual FsStatus EntryAttributes(std::string_view name, std::uint32_t& attributes) = 0;

  // Takes this folder for one build: while the handle lives, no other process gets it, and the
  // system lets it go when the process ends however it ends. `busy` tells a holder elsewhere
  // apart from a failure to lock at all.
  virtual FsStatus LockForBuild(bool& busy) = 0;

  // Opens the subdirectory `name`; fails, naming why, if `name` is a link or no directory.
  virtual FsStatus OpenSubdirectory(std::string_view name, std::unique_ptr<Directory>& opened) = 0;
  // Opens the directory that holds this one (its ".." entry). Callers compare its identity with
  // the one they expect: between opening this directory and now it may have been moved.
  virtual FsStatus OpenParent(std::unique_ptr<Directory>& opened) = 0;

  virtual FsStatus SetAttributes(std::string_view name, std::uint32_t attributes) = 0;
  // Removes a file, a link or a special file as an entry of its own.
  virtual FsStatus DeleteFile(std::string_view name) = 0;
  // Removes an empty subdirectory, or a directory link as itself.
  virtual FsStatus RemoveDirectory(std::string_view name) = 0;
  virtual FsStatus CreateDirectory(std::string_view name) = 0;

  // Renames the entry `from` to `to` in this folder; a file named `to` is replaced in one step.
  // A folder named `to` is not: the caller removes it first.
  virtual FsStatus Rename(std::string_view from, std::string_view to) = 0;
  // Sets the modification time of the plain file `name`.
  virtual FsStatus SetModified(std::string_view name, FileTime time) = 0;
  // Puts everything written on this folder's volume from the system's cache onto the device:
  // the whole volume in one call where the platform has one; elsewhere each file was flushed as
  // it was written, and nothing is left to do.
  virtual FsStatus SyncVolume() = 0;
  // What the volume this folder lies on allows.
  virtual FsStatus Volume(VolumeFacts& facts) {
    facts = {};
    return {};
  }

  // Copies the plain file `source_name` of `source` to a new file `name` here, with the
  // source's modification time. A source that is a link is refused without being followed. Any
  // other source is opened for reading without waiting, so a FIFO or a device never blocks the
  // copy, and refused before a byte is read when its handle shows it is no plain file; the
  // target is then never created. `progress` hears the bytes as they are copied and may stop
  // the copy; a copy that fails or is stopped leaves no file `name`. What is copied goes on to
  // the device as the copy goes, so no large amount waits in the cache for a flush at the end.
  virtual FsStatus CopyFileIn(std::string_view name, Directory& source,
                              std::string_view source_name, const ByteProgress& progress = {}) = 0;
  // Creates the new file `name` with exactly these bytes.
  virtual FsStatus WriteFileIn(std::string_view name, std::string_view bytes) = 0;
  // Replaces `name` as a whole: the bytes go to a temporary file beside it, which is flushed and
  // then renamed over `name`. Until the rename the old file stays whole; a link in its place is
  // replaced, never written through.
  virtual FsStatus ReplaceFile(std::string_view name, std::string_view bytes) = 0;

  // Opens the plain file `name` to read it back. With `from_device`, the system's cached pages
  // of it are dropped first where the platform allows (they must have been flushed), so what
  // is read is what the device holds.
  virtual FsStatus OpenForReading(std::string_view name, bool from_device,
                                  std::unique_ptr<FileReader>& reader) = 0;

  // Drops the system's cached pages of the plain file `name` (flushed before) and starts reading
  // its beginning from the device in the background, so that reading it soon after does not
  // wait for the device alone. Returns whether both happened; a later OpenForReading of it with
  // `from_device` false then reads what the device holds. Links and special files are refused.
  virtual bool ReadAhead(std::string_view name) {
    (void)name;
    return false;
  }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Attributes of the entry itself; a link is reported as a link, never as its target.
  virtual FsStatus QueryAttributes(const std::string& path, std::uint32_t& attributes) = 0;

  // Lists every entry of a directory ("." and ".." are never passed on). Entries whose hidden,
  // system or directory bits are not all in `filter` are left out, as the Windows listing does;
  // plain files always pass.
  virtual FsStatus ListDirectory(const std::string& path, std::uint32_t filter,
                                 const ListVisitor& visit,
                                 ListDetail detail = ListDetail::kFull) = 0;

  // Whether an entry of that name exists (file, directory or link, hidden or not). Fails only
  // when the question cannot be answered (the drive cannot be read).
  virtual FsStatus Exists(const std::string& path, bool& exists) = 0;

  virtual FsStatus FileLength(const std::string& path, std::uint64_t& length) = 0;

  // The absolute path with every link resolved, for comparing locations. A path whose tail does
  // not exist yet resolves its existing head and keeps the rest as written.
  virtual FsStatus ResolvePath(const std::string& path, std::string& resolved) = 0;

  // The identity of what `path` reaches (links followed).
  virtual FsStatus Identify(const std::string& path, FileId& id) = 0;

  // Opens the directory at `path`, links in it followed: it is where the caller points us. Below
  // it, the handle's own operations follow no link.
  virtual FsStatus OpenDirectory(const std::string& path, std::unique_ptr<Directory>& opened) = 0;
};

// The platform's own failure for "this path names no directory".
FsStatus NotADirectoryStatus(const std::string& path);

// A failure of our own making: the system would have done it, but the program must not (the
// entry is a link, the folder is the kit under another name).
FsStatus RefusalStatus(FsReason why, const std::string& path);
// The same for a refusal the caller words itself: `why` is the report's text.
FsStatus RefusalStatus(std::string_view why, const std::string& path);

// A failure of the read-back: the file on the device is not what was written.
FsStatus MismatchStatus(std::string_view why, const std::string& path);

// Reads a small plain file whole (at most `limit` bytes, and one more to tell that it is
// longer). It is opened without waiting - a FIFO or a device given by mistake never blocks -
// and anything but a plain file is refused; every read error is a failure, never a short text.
FsStatus ReadSmallFile(const std::string& path, std::size_t limit, std::string& content);

// Whether the system's error `code` says the device itself is gone (pulled, powered off, its
// driver ended), as opposed to one file or folder failing.
bool IsDeviceGone(int code);

// What the system's error `code` means among the conditions of FsReason; kSystem for the rest.
FsReason ReasonOfCode(int code);

// Why `status` failed: its refusal, or what its code means.
inline FsReason ReasonOf(const FsStatus& status) {
  return status.reason != FsReason::kSystem ? status.reason : ReasonOfCode(status.code);
}

// The real file system of the platform the program runs on.
FileSystem& NativeFileSystem();

}  // namespace talvex::platform
