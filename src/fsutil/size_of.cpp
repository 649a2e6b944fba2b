#include <string>
#include <vector>

#include "fsutil/tree.h"
#include "platform/directory_chain.h"
#include "platform/paths.h"

namespace talvex::fsutil {

double SizeOf(platform::FileSystem& fs, const std::string& DirPath,
              const std::function<void()>& yield) {
  std::uint32_t attributes = 0;
  if (!fs.QueryAttributes(DirPath, attributes)) return 0;
  if ((attributes & platform::kAttrReparsePoint) != 0) return 0;
  if ((attributes & platform::kAttrDirectory) == 0) {
    std::uint64_t length = 0;
    return fs.FileLength(DirPath, length) ? static_cast<double>(length) : 0;
  }
  // The sum is kept as a whole number of bytes and turned into a double once: exact far beyond
  // any drive. Directories wait on an explicit stack, so depth costs no call stack; a directory
  // that cannot be listed adds what was counted of it before the failure, its siblings go on.
  std::uint64_t total = 0;
  std::vector<std::string> pending;
  pending.push_back(platform::WithoutTrailingSeparators(DirPath));
  while (!pending.empty()) {
    const std::string directory = std::move(pending.back());
    pending.pop_back();
    fs.ListDirectory(directory, platform::kListEverything, [&](const platform::DirEntry& entry) {
      if (entry.IsDirectory() && !entry.IsLink()) {
        pending.push_back(platform::JoinPath(directory, entry.name));
      } else if (!entry.IsLink()) {
        total += entry.size;
      }
      if (yield) yield();
      return true;
    });
  }
  return static_cast<double>(total);
}

}  // namespace talvex::fsutil

namespace talvex::fsutil {

double SizeOfBelow(platform::Directory& parent, std::string_view name,
                   const std::function<void()>& yield) {
  std::uint32_t attributes = 0;
  if (!parent.EntryAttributes(name, attributes)) return 0;
  if ((attributes & (platform::kAttrReparsePoint | platform::kAttrDirectory)) !=
      platform::kAttrDirectory) {
    return 0;
  }
  platform::DirectoryChain chain(parent);
  if (!chain.Descend(name)) return 0;
  // Depth first through handles: each level keeps the names of its subdirectories and which
  // comes next. A folder that cannot be listed or entered adds what was counted of it.
  struct Level {
    std::vector<std::string> subdirectories;
    std::size_t next = 0;
  };
  std::uint64_t total = 0;
  std::vector<Level> levels(1);
  auto count = [&](Level& level) {
    chain.top().List(
        [&](const platform::DirEntry& entry) {
          if (entry.IsDirectory() && !entry.IsLink()) {
            level.subdirectories.emplace_back(entry.name);
          } else if (!entry.IsLink()) {
            total += entry.size;
          }
          if (yield) yield();
          return true;
        },
        platform::ListDetail::kFull);
  };
  count(levels.back());
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next < level.subdirectories.size()) {
      if (chain.Descend(level.subdirectories[level.next++])) {
        levels.emplace_back();
        count(levels.back());
      }
      continue;
    }
    levels.pop_back();
    if (!levels.empty() && !chain.Ascend()) break;
  }
  return static_cast<double>(total);
}

}  // namespace talvex::fsutil
