// The recursive folder copy, written once on top of the primitives so that every platform (and
// the fault-injecting wrapper of the tests) copies the same way.
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace talvex::platform {
namespace {

std::string Child(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += name;
  return path;
}

// Creates the directory unless one is there already (a merge keeps existing folders).
FsStatus EnsureDirectory(FileSystem& fs, const std::string& path) {
  FsStatus created = fs.CreateDirectory(path);
  if (created) return created;
  std::uint32_t attributes = 0;
  if (fs.QueryAttributes(path, attributes) && (attributes & kAttrDirectory) != 0 &&
      (attributes & kAttrReparsePoint) == 0) {
    return {};
  }
  return created;
}

struct PendingEntry {
  std::string name;
  bool is_directory;
};

}  // namespace

FsStatus FileSystem::CopyFolder(const std::string& source, const std::string& target) {
  std::uint32_t attributes = 0;
  if (FsStatus queried = QueryAttributes(source, attributes); !queried) return queried;
  if ((attributes & kAttrDirectory) == 0) return NotADirectoryStatus(source);
  // Depth first without recursion, so a deep tree cannot exhaust the stack. Links are skipped:
  // whatever they point at lies outside the folder being copied, and a loop cannot form.
  std::vector<std::pair<std::string, std::string>> pending{{source, target}};
  std::vector<PendingEntry> entries;
  while (!pending.empty()) {
    auto [from, to] = std::move(pending.back());
    pending.pop_back();
    entries.clear();
    FsStatus listed = ListDirectory(
        from, kListEverything,
        [&](const DirEntry& entry) {
          if (!entry.IsLink()) entries.push_back({std::string(entry.name), entry.IsDirectory()});
          return true;
        },
        ListDetail::kTypes);
    if (!listed) return listed;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      std::string from_path = Child(from, it->name);
      std::string to_path = Child(to, it->name);
      if (it->is_directory) {
        if (FsStatus made = EnsureDirectory(*this, to_path); !made) return made;
        pending.emplace_back(std::move(from_path), std::move(to_path));
      }
    }
    for (const PendingEntry& entry : entries) {
      if (entry.is_directory) continue;
      if (FsStatus copied = CopyFile(Child(from, entry.name), Child(to, entry.name)); !copied) {
        return copied;
      }
    }
  }
  return {};
}

}  // namespace talvex::platform
