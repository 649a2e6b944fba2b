#include "engine/guard.h"

#include <algorithm>

#include "engine/app_folders.h"
#include "engine/build_plan.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

bool Contains(const std::vector<platform::FileId>& ids, const platform::FileId& id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// `path` resolved, with ASCII letters folded to lower case; empty when it cannot be resolved.
std::string FoldedResolved(platform::FileSystem& fs, const std::string& path) {
  std::string resolved;
  if (!fs.ResolvePath(path, resolved)) return {};
  return fsutil::FoldAsciiCase(resolved);
}

// Whether the path text `inner` is `outer` or lies below it.
bool IsSameOrInside(const std::string& inner, const std::string& outer) {
  if (inner.empty() || outer.empty()) return false;
  if (inner == outer) return true;
  if (inner.size() <= outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return outer.back() == platform::kPathSeparator ||
         inner[outer.size()] == platform::kPathSeparator;
}

// The kit folder is the drive's root itself.
std::string KitIsDriveMessage(const std::string& drive) {
  return "Программа запущена из корня диска \"" + drive +
         "\": сборка удалила бы комплект, из которого она копирует.";
}

// The folder `path` the build removes is the kit, holds it or lies inside it.
std::string OverlapMessage(const std::string& path) {
  return "Папка \"" + path + "\" на диске совпадает с комплектом или пересекается с ним: " +
         "сборка удалила бы комплект, из которого она копирует.";
}

std::string BusyMessage(const std::string& drive) {
  return "На диск \"" + drive +
         "\" уже идёт другая сборка (в другом окне программы или в talvex-build). Дождитесь её "
         "конца и начните сборку ещё раз; флешка не тронута.";
}

}  // namespace

std::vector<platform::FileId> FolderAndAncestors(platform::FileSystem& fs,
                                                 const std::string& path) {
  std::vector<platform::FileId> chain;
  std::string folder;
  if (!fs.ResolvePath(path, folder)) return chain;
  for (; !folder.empty(); folder = platform::ParentFolder(folder)) {
    platform::FileId id;
    if (fs.Identify(folder, id)) chain.push_back(id);
  }
  return chain;
}

std::optional<std::string> CheckTargetOverlap(platform::FileSystem& fs,
                                              const BuildContext& context) {
  // Folders are compared by what they are, not by how they are spelled: on a case-insensitive
  // volume, through a link or through a bind mount one folder has many names. A kit or drive
  // that cannot be reached cannot overlap anything; the build's own steps then fail and are
  // reported one by one.
  // A kit folder that does not exist yet is represented by the folders above it that do.
  const std::vector<platform::FileId> kit_chain = FolderAndAncestors(fs, context.source_root);
  platform::FileId kit;
  const bool kit_exists = fs.Identify(context.source_root, kit).ok();
  const std::vector<platform::FileId> drive_chain = FolderAndAncestors(fs, context.target_drive);
  if (kit_exists && !drive_chain.empty() && drive_chain.front() == kit) {
    return KitIsDriveMessage(context.target_drive);
  }
  const std::string payload = platform::JoinPayloadPath(context.target_drive, kPayloadFolder);
  // A drive inside the kit would have the build write into the master copy.
  if (kit_exists && Contains(drive_chain, kit)) return OverlapMessage(payload);
  // Everything the build removes: the payload folder and the folder of every ticked application.
  std::vector<std::string> removed{payload};
  for (const AppFolderEntry& entry : AppFolders) {
    if (options::IsTicked(context.options.*entry.Condition)) {
      removed.push_back(
          platform::JoinPayloadPath(context.target_drive, "\\" + std::string(entry.FolderName)));
    }
  }
  for (const std::string& path : removed) {
    platform::FileId id;
    if (!fs.Identify(path, id)) continue;  // nothing there to remove
    if (Contains(kit_chain, id) || (kit_exists && Contains(FolderAndAncestors(fs, path), kit))) {
      return OverlapMessage(path);
    }
  }
  return CheckSpellingOverlap(fs, context, kit_exists ? &kit : nullptr, removed);
}

// Some file systems give one folder a new inode number for every spelling of its name (FAT32
// through FUSE does), so identities alone miss a target typed in other letters than the kit.
// On the kit's own volume, names that differ only in ASCII letter case are therefore taken for
// the same folder too. On a case-sensitive volume that may refuse a build that would have been
// safe, never the reverse.
std::optional<std::string> CheckSpellingOverlap(platform::FileSystem& fs,
                                                const BuildContext& context,
                                                const platform::FileId* kit,
                                                const std::vector<std::string>& removed) {
  platform::FileId drive;
  if (kit == nullptr || !fs.Identify(context.target_drive, drive) || drive.volume != kit->volume) {
    return std::nullopt;
  }
  const std::string kit_text = FoldedResolved(fs, context.source_root);
  const std::string drive_text = FoldedResolved(fs, context.target_drive);
  if (!kit_text.empty() && kit_text == drive_text) return KitIsDriveMessage(context.target_drive);
  if (IsSameOrInside(drive_text, kit_text)) return OverlapMessage(removed.front());
  for (const std::string& path : removed) {
    const std::string text = FoldedResolved(fs, path);
    if (IsSameOrInside(kit_text, text) || IsSameOrInside(text, kit_text)) {
      return OverlapMessage(path);
    }
  }
  return std::nullopt;
}

std::optional<std::string> CheckBuildMayStart(platform::FileSystem& fs,
                                              const BuildContext& context) {
  // Without a master tree the build would wipe the stick's payload and copy nothing back.
  if (!fsutil::HoldsKit(fs, context.source_root)) return fsutil::NoKitMessage(context.source_root);
  return CheckTargetOverlap(fs, context);
}

std::optional<std::string> LockDriveForBuild(platform::Directory& root, const std::string& drive) {
  // One build per drive: a second one would interleave its removals and copies with ours.
  bool busy = false;
  if (!root.LockForBuild(busy) && busy) return BusyMessage(drive);
  return std::nullopt;
}

}  // namespace talvex::build
