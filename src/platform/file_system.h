// The file-system primitives the core is built on. Paths are native UTF-8 texts: on Windows a
// drive letter, colon and backslashes; elsewhere an ordinary POSIX path. The core composes them
// with JoinPayloadPath (paths.h) and never looks at the separator itself except through
// kPathSeparator.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace talvex::platform {

// Attribute bits, the values Windows uses. POSIX reports only directory, read-only (no write
// permission for the owner) and reparse point (a symbolic link).
enum Attribute : std::uint32_t {
  kAttrNormal = 0,
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrDirectory = 16,
  kAttrReparsePoint = 0x400,
};

// Listing filter that must see everything: hidden + system + directory.
inline constexpr std::uint32_t kListEverything = kAttrHidden | kAttrSystem | kAttrDirectory;

// The outcome of one primitive. code 0 means success; otherwise the OS error code (errno or
// GetLastError) and a readable message naming what failed.
struct FsStatus {
  int code = 0;
  std::string message;  // the system's own text for `code`
  std::string path;     // the entry the failure concerns (deep inside a folder copy, say)

  bool ok() const { return code == 0; }
  explicit operator bool() const { return ok(); }
  static FsStatus Success() { return {}; }
};

// One entry of a directory listing. Attributes and size come with the listing itself, so
// callers never need a second query for an entry they just listed.
struct DirEntry {
  std::string_view name;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;

  bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
  bool IsLink() const { return (attributes & kAttrReparsePoint) != 0; }
};

// A file size as Windows listing records give it: two unsigned 32-bit words, the upper one
// counting units of 4294967296 bytes. Kept exact in 64 bits, so 2-4 GiB never turns negative.
inline constexpr std::uint64_t FileSizeFromWords(std::uint32_t high, std::uint32_t low) {
  return std::uint64_t{high} * 4294967296u + low;
}

// Return false to stop the listing early.
using ListVisitor = std::function<bool(const DirEntry&)>;

// How much a listing must tell about each entry. kTypes tells files, directories and links apart
// and gives every attribute that can refuse a deletion on this platform; it is cheaper on POSIX,
// where the other details (read-only, size) cost a stat per entry and where no attribute of a
// file stands in the way of deleting it. On Windows both give everything.
enum class ListDetail { kTypes, kFull };

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

  // Sets the attribute bits; 0 makes the entry a plain, writable one.
  virtual FsStatus SetAttributes(const std::string& path, std::uint32_t attributes) = 0;

  virtual FsStatus DeleteFile(const std::string& path) = 0;
  virtual FsStatus RemoveDirectory(const std::string& path) = 0;  // must be empty
  virtual FsStatus CreateDirectory(const std::string& path) = 0;  // parent must exist
  virtual FsStatus FileLength(const std::string& path, std::uint64_t& length) = 0;

  // Creates or truncates the file and writes the bytes as they are.
  virtual FsStatus WriteFile(const std::string& path, std::string_view bytes) = 0;

  // Copies one file's content, replacing a file of that name. Creates no directory.
  virtual FsStatus CopyFile(const std::string& source, const std::string& target) = 0;

  // Merges the tree below `source` into the existing directory `target`: every file and
  // subdirectory at the same relative place, files of the same name replaced. Links inside the
  // source are not followed (and not copied). Stops at the first failure, keeping what it
  // copied. Built on the primitives above, so a wrapper that injects faults into them sees every
  // step of the copy.
  virtual FsStatus CopyFolder(const std::string& source, const std::string& target);

  // The absolute path with every link resolved, for comparing locations. A path whose tail does
  // not exist yet resolves its existing head and keeps the rest as written.
  virtual FsStatus ResolvePath(const std::string& path, std::string& resolved) = 0;
};

// The platform's own failure for "this path names no directory".
FsStatus NotADirectoryStatus(const std::string& path);

// The real file system of the platform the program runs on.
FileSystem& NativeFileSystem();

}  // namespace talvex::platform
