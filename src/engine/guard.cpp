#include "engine/guard.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

#include "engine/app_folders.h"
#include "engine/end_state.h"
#include "engine/payload_manifest.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::Directory;
using platform::FileId;

// A folder above the drive's root is looked at up to this many levels: deeper trees exist, but
// not between a drive's root and the root of everything.
constexpr int kAncestorsLooked = 64;

bool Contains(const std::vector<FileId>& ids, const FileId& id) {
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

// The folder `path` the build removes (or the drive holding it) is the kit, holds it or lies
// inside it.
std::string OverlapMessage(const std::string& path) {
  return "Папка \"" + path + "\" на диске совпадает с комплектом или пересекается с ним: " +
         "сборка удалила бы комплект, из которого она копирует.";
}

std::string BusyMessage(const std::string& drive) {
  return "На диск \"" + drive +
         "\" уже идёт другая сборка (в другом окне программы или в talvex-build). Дождитесь её "
         "конца и начните сборку ещё раз; флешка не тронута.";
}

// The names of the root's folders the build removes: the payload folder and the folder of every
// ticked application.
std::vector<std::string> RemovedFolderNames(const options::BuildOptions& options) {
  std::vector<std::string> names{std::string(kPayloadFolder.substr(1))};
  for (const AppFolderEntry& entry : AppFolders) {
    if (options::IsTicked(options.*entry.Condition)) names.emplace_back(entry.FolderName);
  }
  return names;
}

bool HasEntry(Directory& folder, std::string_view name) {
  std::uint32_t attributes = 0;
  return !name.empty() && folder.EntryAttributes(name, attributes).ok();
}

// The folder `name` of `parent` when it is a folder of its own; a link there is only ever removed
// as a link, so it cannot lead the removal into the kit.
std::unique_ptr<Directory> OpenRealFolder(Directory& parent, std::string_view name) {
  std::uint32_t attributes = 0;
  std::unique_ptr<Directory> opened;
  if (!parent.EntryAttributes(name, attributes) ||
      (attributes & platform::kAttrReparsePoint) != 0 ||
      (attributes & platform::kAttrDirectory) == 0 || !parent.OpenSubdirectory(name, opened)) {
    return nullptr;
  }
  return opened;
}

// A file of a name no one else uses, put for the time of the check into the kit and the kit's
// folders whose namesakes on the drive the build removes. Seen through the drive, it proves that
// a folder there is one of them, whatever identity the drive's file system reports for it.
class KitToken {
 public:
  KitToken(platform::FileSystem& fs, const BuildContext& context) : name_(UniqueName()) {
    std::unique_ptr<Directory> kit;
    if (!fs.OpenDirectory(context.source_root, kit)) return;
    for (const std::string& folder : RemovedFolderNames(context.options)) {
      const std::string spelled = fsutil::FindKitRelative(fs, context.source_root, "\\" + folder);
      std::unique_ptr<Directory> inside;
      if (fsutil::OpenBeneath(*kit, spelled, inside)) Place(std::move(inside));
    }
    Place(std::move(kit));
  }
  ~KitToken() {
    // A second try for a delete that failed once (a virus scanner holding the new file, say):
    // the kit is the user's, and nothing of ours should stay in it.
    for (const std::unique_ptr<Directory>& folder : placed_) {
      if (!folder->DeleteFile(name_)) folder->DeleteFile(name_);
    }
  }
  KitToken(const KitToken&) = delete;
  KitToken& operator=(const KitToken&) = delete;

  // Whether `folder` is one of the kit's folders that hold the token.
  bool SeenIn(Directory& folder) const { return !placed_.empty() && HasEntry(folder, name_); }

 private:
  void Place(std::unique_ptr<Directory> folder) {
    RemoveStaleTokens(*folder);
    if (folder->WriteFileIn(name_, {})) placed_.push_back(std::move(folder));
  }

  // A token outlives its check only when its build was killed meanwhile (kill -9, the power).
  // A check lasts seconds, so one this old belongs to no build still running; a younger one may
  // be another build's, checking a drive right now, and stays.
  static void RemoveStaleTokens(Directory& folder) {
    constexpr auto kStale = std::chrono::hours(1);
    const platform::FileTime now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
    const platform::FileTime before = now - std::chrono::nanoseconds(kStale).count();
    std::vector<std::string> stale;
    folder.List(
        [&](const platform::DirEntry& entry) {
          if (entry.name.starts_with(kKitTokenPrefix) && !entry.IsDirectory() &&
              entry.modified < before) {
            stale.emplace_back(entry.name);
          }
          return true;
        },
        platform::ListDetail::kFull);
    for (const std::string& name : stale) folder.DeleteFile(name);
  }

  static std::string UniqueName() {
    std::random_device random;
    const std::uint64_t number = (std::uint64_t{random()} << 32) ^ random();
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name(kKitTokenPrefix);
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(number >> shift) & 15];
    return name;
  }

  std::string name_;
  std::vector<std::unique_ptr<Directory>> placed_;
};

// The kit's path split at each of its levels: the names below each folder above the kit, from
// the nearest ("kit") to the farthest ("home", "me", "kit"). Whichever removed folder is one of
// those folders holds the kit at the end of that chain of names.
std::vector<std::vector<std::string>> KitPathTails(platform::FileSystem& fs,
                                                   const std::string& kit) {
  std::string resolved;
  if (!fs.ResolvePath(kit, resolved)) resolved = kit;
  std::vector<std::vector<std::string>> tails;
  std::vector<std::string> tail;
  for (std::string folder = resolved; !folder.empty() && tails.size() < kAncestorsLooked;
       folder = platform::ParentFolder(folder)) {
    const std::string name = platform::LastName(folder);
    if (name.empty()) break;
    tail.insert(tail.begin(), name);
    tails.push_back(tail);
  }
  return tails;
}

// Whether the kit lies at `names` below `folder`: the token is there.
bool TokenBelow(Directory& folder, const std::vector<std::string>& names, const KitToken& token) {
  std::unique_ptr<Directory> level;
  Directory* at = &folder;
  for (const std::string& name : names) {
    std::unique_ptr<Directory> next = OpenRealFolder(*at, name);
    if (next == nullptr) return false;
    level = std::move(next);
    at = level.get();
  }
  return token.SeenIn(*at);
}

// The drive's root and the folders above it, by handle: the root is the kit, or lies in it.
std::optional<std::string> CheckRootAndAbove(Directory& root, const BuildContext& context,
                                             const std::vector<FileId>& kit_chain,
                                             const KitToken* token) {
  if (!kit_chain.empty() && root.id() == kit_chain.front()) {
    return KitIsDriveMessage(context.target_drive);
  }
  if (token != nullptr && token->SeenIn(root)) return KitIsDriveMessage(context.target_drive);
  const std::string payload = platform::JoinPayloadPath(context.target_drive, kPayloadFolder);
  std::unique_ptr<Directory> above;
  Directory* at = &root;
  for (int level = 0; level < kAncestorsLooked; ++level) {
    std::unique_ptr<Directory> parent;
    if (!at->OpenParent(parent) || parent->id() == at->id()) break;  // the root of everything
    if (!kit_chain.empty() && parent->id() == kit_chain.front()) return OverlapMessage(payload);
    if (token != nullptr && token->SeenIn(*parent)) return OverlapMessage(payload);
    above = std::move(parent);
    at = above.get();
  }
  return std::nullopt;
}

// Each folder the build removes, by handle: it is the kit or one of the kit's folders, or the
// kit lies somewhere below it.
std::optional<std::string> CheckRemovedFolders(platform::FileSystem& fs, Directory& root,
                                               const BuildContext& context,
                                               const std::vector<FileId>& kit_chain,
                                               const KitToken* token) {
  const std::vector<std::vector<std::string>> tails = token != nullptr
                                                          ? KitPathTails(fs, context.source_root)
                                                          : std::vector<std::vector<std::string>>{};
  for (const std::string& name : RemovedFolderNames(context.options)) {
    const std::string path = platform::JoinPayloadPath(context.target_drive, "\\" + name);
    std::unique_ptr<Directory> removed = OpenRealFolder(root, name);
    if (removed == nullptr) {
      // A link there is only ever removed as a link; one that leads to the kit still says that
      // the drive is not what the user thinks it is.
      FileId linked;
      if (fs.Identify(path, linked) && Contains(kit_chain, linked)) return OverlapMessage(path);
      continue;
    }
    if (Contains(kit_chain, removed->id())) return OverlapMessage(path);
    if (token == nullptr) continue;
    if (token->SeenIn(*removed)) return OverlapMessage(path);
    for (const std::vector<std::string>& tail : tails) {
      if (TokenBelow(*removed, tail, *token)) return OverlapMessage(path);
    }
  }
  return std::nullopt;
}

// Some file systems give one folder a new inode number for every spelling of its name (FAT32
// through FUSE does), so identities alone miss a target typed in other letters than the kit.
// On the kit's own volume, names that differ only in ASCII letter case are therefore taken for
// the same folder too. On a case-sensitive volume that may refuse a build that would have been
// safe, never the reverse.
std::optional<std::string> CheckSpellings(platform::FileSystem& fs, const BuildContext& context,
                                          Directory& root) {
  FileId kit;
  if (!fs.Identify(context.source_root, kit) || root.id().volume != kit.volume) return std::nullopt;
  const std::string kit_text = FoldedResolved(fs, context.source_root);
  const std::string drive_text = FoldedResolved(fs, context.target_drive);
  if (!kit_text.empty() && kit_text == drive_text) return KitIsDriveMessage(context.target_drive);
  const std::string payload = platform::JoinPayloadPath(context.target_drive, kPayloadFolder);
  if (IsSameOrInside(drive_text, kit_text)) return OverlapMessage(payload);
  for (const std::string& name : RemovedFolderNames(context.options)) {
    const std::string path = platform::JoinPayloadPath(context.target_drive, "\\" + name);
    const std::string text = FoldedResolved(fs, path);
    if (IsSameOrInside(kit_text, text) || IsSameOrInside(text, kit_text)) {
      return OverlapMessage(path);
    }
  }
  return std::nullopt;
}

}  // namespace

bool HoldsKit(platform::FileSystem& fs, std::string_view folder) {
  if (folder.empty()) return false;
  std::unique_ptr<Directory> kit;
  if (!fs.OpenDirectory(std::string(folder), kit)) return false;
  const std::string payload = fsutil::FindKitRelative(fs, folder, kPayloadFolder);
  if (OpenRealFolder(*kit, payload.substr(1)) == nullptr) return false;
  // An empty master would pass for a kit and leave the stick with a bare skeleton.
  for (const ManifestEntry& entry : PayloadManifest) {
    const std::string relative = fsutil::FindKitRelative(fs, folder, entry.RelativePath);
    const auto [in, name] = fsutil::SplitRelative(relative);
    std::unique_ptr<Directory> holding;
    std::uint32_t attributes = 0;
    if (fsutil::OpenBeneath(*kit, in, holding) && holding->EntryAttributes(name, attributes) &&
        (attributes &
         (platform::kAttrDirectory | platform::kAttrReparsePoint | platform::kAttrDevice)) == 0) {
      return true;
    }
  }
  return false;
}

std::string NoKitMessage(std::string_view folder) {
  return "В папке \"" + std::string(folder) +
         "\" нет комплекта: в ней должна лежать папка Talvex с файлами сборки и папки приложений "
         "(PVR, mc, NetSurf, ...). Сборка не начата, флешка не тронута.";
}

std::vector<FileId> FolderAndAncestors(platform::FileSystem& fs, const std::string& path) {
  std::vector<FileId> chain;
  std::string folder;
  if (!fs.ResolvePath(path, folder)) return chain;
  for (; !folder.empty(); folder = platform::ParentFolder(folder)) {
    FileId id;
    if (fs.Identify(folder, id)) chain.push_back(id);
  }
  return chain;
}

std::optional<std::string> CheckDriveRoot(platform::FileSystem& fs, const BuildContext& context,
                                          Directory& root, KitProbe probe) {
  // The kit's side is the kit's own path: it is where the program reads from, and a kit that
  // cannot be reached cannot be overlapped.
  const std::vector<FileId> kit_chain = FolderAndAncestors(fs, context.source_root);
  std::optional<KitToken> token;
  if (probe == KitProbe::kToken) token.emplace(fs, context);
  const KitToken* seen = token ? &*token : nullptr;
  if (auto refusal = CheckRootAndAbove(root, context, kit_chain, seen)) return refusal;
  if (auto refusal = CheckRemovedFolders(fs, root, context, kit_chain, seen)) return refusal;
  return CheckSpellings(fs, context, root);
}

std::optional<std::string> LockDriveForBuild(Directory& root, const std::string& drive) {
  // One build per drive: a second one would interleave its removals and copies with ours.
  bool busy = false;
  if (!root.LockForBuild(busy) && busy) return BusyMessage(drive);
  return std::nullopt;
}

}  // namespace talvex::build
