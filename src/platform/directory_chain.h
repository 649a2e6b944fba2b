// A walk down a directory tree through open handles. Only the directories nearest the current
// one stay open, so a tree of any depth can be walked within the process's handle limit: going
// back up to a directory whose handle was let go reopens it through ".." and checks that it is
// still the directory that was left, so a folder moved meanwhile cannot redirect the walk.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace talvex::platform {

class DirectoryChain {
 public:
  // How many directories of the chain stay open at most.
  static constexpr std::size_t kOpenLimit = 48;

  // The root stays the caller's and stays open.
  explicit DirectoryChain(Directory& root);

  Directory& top() { return levels_.size() == 1 ? root_ : *levels_.back().directory; }
  const std::string& top_name() const { return levels_.back().name; }

  // Opens the subdirectory `name` of the top and makes it the top.
  FsStatus Descend(std::string_view name);
  // Closes the top and makes its parent the top again. Fails when the parent cannot be reopened
  // or is no longer the directory the walk came from; the chain is then unusable.
  FsStatus Ascend();

 private:
  struct Level {
    std::string name;
    FileId id;
    std::unique_ptr<Directory> directory;  // null while let go, and for the root
  };
  Directory& root_;
  std::vector<Level> levels_;
};

}  // namespace talvex::platform
