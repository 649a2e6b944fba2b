// The recursive folder copy, written once on top of the directory handles so that every
// platform (and the fault-injecting wrapper of the tests) copies the same way.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/directory_chain.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace talvex::platform {
namespace {

struct PendingEntry {
  std::string name;
  std::uint32_t attributes;
};

// One folder of the walk: what its listing held, and which subdirectory comes next.
struct CopyLevel {
  std::vector<std::string> subdirectories;
  std::size_t next = 0;
};

// Makes the subdirectory unless one is there already (a merge keeps existing folders); a link
// of that name is refused when the walk tries to open it.
FsStatus EnsureSubdirectory(Directory& target, const std::string& name) {
  FsStatus created = target.CreateDirectory(name);
  if (created) return created;
  std::unique_ptr<Directory> existing;
  if (target.OpenSubdirectory(name, existing)) return {};
  return created;
}

// Copies the files of the top source folder into the top target folder and lists its
// subdirectories. A link or special file is skipped and remembered in `refused`.
FsStatus CopyFiles(Directory& source, Directory& target, CopyLevel& level, FsStatus& refused) {
  std::vector<PendingEntry> entries;
  FsStatus listed = source.List(
      [&](const DirEntry& entry) {
        entries.push_back({std::string(entry.name), entry.attributes});
        return true;
      },
      ListDetail::kTypes);
  if (!listed) return listed;
  for (const PendingEntry& entry : entries) {
    const DirEntry view{entry.name, entry.attributes, 0};
    if (view.IsLink() || view.IsSpecial()) {
      if (refused.ok()) {
        refused = RefusalStatus(view.IsLink() ? kLinkRefused : kSpecialFileRefused,
                                ChildPath(source.path(), entry.name));
      }
      continue;
    }
    if (view.IsDirectory()) {
      if (FsStatus made = EnsureSubdirectory(target, entry.name); !made) return made;
      level.subdirectories.push_back(entry.name);
      continue;
    }
    if (FsStatus copied = target.CopyFileIn(entry.name, source, entry.name); !copied) {
      return copied;
    }
  }
  return {};
}

}  // namespace

FsStatus CopyTree(Directory& source_root, Directory& target_root) {
  // The two walks move in step, depth first; each keeps only the handles near its current folder
  // open, so the depth of the tree is not limited by the handle limit.
  DirectoryChain source(source_root);
  DirectoryChain target(target_root);
  std::vector<CopyLevel> levels(1);
  FsStatus refused;
  if (FsStatus copied = CopyFiles(source.top(), target.top(), levels.back(), refused); !copied) {
    return copied;
  }
  while (!levels.empty()) {
    CopyLevel& level = levels.back();
    if (level.next < level.subdirectories.size()) {
      const std::string name = level.subdirectories[level.next++];
      if (FsStatus opened = source.Descend(name); !opened) return opened;
      if (FsStatus opened = target.Descend(name); !opened) return opened;
      levels.emplace_back();
      if (FsStatus copied = CopyFiles(source.top(), target.top(), levels.back(), refused);
          !copied) {
        return copied;
      }
      continue;
    }
    levels.pop_back();
    if (levels.empty()) break;
    if (FsStatus up = source.Ascend(); !up) return up;
    if (FsStatus up = target.Ascend(); !up) return up;
  }
  return refused;
}

FsStatus FileSystem::CopyFolder(const std::string& source, const std::string& target) {
  std::unique_ptr<Directory> from;
  if (FsStatus opened = OpenDirectory(source, from); !opened) return opened;
  std::unique_ptr<Directory> to;
  if (FsStatus opened = OpenDirectory(target, to); !opened) return opened;
  return CopyTree(*from, *to);
}

std::string ChildPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += name;
  return path;
}

}  // namespace talvex::platform
