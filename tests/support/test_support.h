// Helpers shared by the test suites: a temporary folder that cleans up after itself, and
// short ways to make and read files in it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace talvex::testing {

// A fresh, empty folder under the system's temporary folder, removed with everything in it when
// the object goes.
class TempDir {
 public:
  TempDir() : TempDir(std::string()) {}
  // Below `under` instead, when it names a folder.
  explicit TempDir(const std::string& under);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + separator + relative, where `relative` uses '/' or '\\' (both become native).
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// A stop (Ctrl+C, Стоп, Stop) asked for at some moment must end the build within a second:
// prints how long it took after `what`, and fails the test when it took longer.
void ExpectEndedWithinASecondOf(const char* what, std::chrono::steady_clock::duration took);

// A fresh folder that holds the least a kit must: a master "Talvex" folder with one core file.
class KitDir : public TempDir {
 public:
  KitDir();
};

// `relative` with '/' and '\\' turned into the native separator.
std::string Native(std::string_view relative);
std::string Join(const std::string& root, std::string_view relative);

// Creates the file (and its missing parent folders) with exactly these bytes.
void MakeFile(const std::string& path, std::string_view bytes = {});
void MakeDirs(const std::string& path);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
std::string ReadBytes(const std::string& path);

// Does `act` to the entry `path` through a handle of the folder that holds it, as the program
// reaches every entry; fails as the opening of that folder fails.
platform::FsStatus AtEntry(platform::FileSystem& fs, const std::string& path,
                           const std::function<platform::FsStatus(platform::Directory& folder,
                                                                  std::string_view name)>& act);
// Makes the folder `path` in its parent, which must exist, as the program makes folders.
platform::FsStatus MakeFolder(platform::FileSystem& fs, const std::string& path);
// Sets the attribute bits of the entry `path`; 0 makes it a plain, writable one.
platform::FsStatus SetAttributes(platform::FileSystem& fs, const std::string& path,
                                 std::uint32_t attributes);

// Every entry below `root`, as sorted relative paths with '/' separators; folders end in '/'.
std::vector<std::string> TreeListing(const std::string& root);

// The same entries, each folder with an empty string and each file with its bytes.
using TreeBytes = std::map<std::string, std::string>;
TreeBytes TreeWithBytes(const std::string& root);

}  // namespace talvex::testing
