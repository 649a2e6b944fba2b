#include "engine/end_state.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "engine/app_folders.h"
#include "engine/generated_files.h"
#include "engine/guard.h"
#include "engine/payload_manifest.h"
#include "engine/step_actions.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::DirEntry;
using platform::FsStatus;

// What the listing of a kit folder told of one entry.
struct KitEntry {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  platform::FileTime modified = 0;
};

// Why a kit entry cannot be copied as a file, if it cannot.
FsStatus RefusalOf(const KitEntry& entry, const std::string& path) {
  if ((entry.attributes & platform::kAttrReparsePoint) != 0) {
    return platform::RefusalStatus(platform::kLinkRefused, path);
  }
  if ((entry.attributes & platform::kAttrDevice) != 0) {
    return platform::RefusalStatus(platform::kSpecialFileRefused, path);
  }
  if ((entry.attributes & platform::kAttrDirectory) != 0) {
    return platform::RefusalStatus("в комплекте здесь папка, а не файл", path);
  }
  return {};
}

// Lists each kit folder once, however many of the manifest's files it holds.
class KitListings {
 public:
  explicit KitListings(BuildRun& run) : run_(run) {}

  // The entry `name` of the kit folder `folder` (both in the kit's spelling).
  FsStatus Find(const std::string& folder, const std::string& name, KitEntry& found) {
    auto listed = listings_.find(folder);
    if (listed == listings_.end()) listed = listings_.emplace(folder, List(folder)).first;
    const Listing& listing = listed->second;
    const std::string path =
        platform::JoinPayloadPath(run_.context().source_root, folder + "\\" + name);
    if (!listing.failure.ok()) return AboutEntry(listing.failure, path);
    const auto entry = listing.entries.find(name);
    if (entry == listing.entries.end()) {
      return platform::RefusalStatus(platform::FsReason::kNotFound, path);
    }
    found = entry->second;
    return {};
  }

 private:
  struct Listing {
    FsStatus failure;
    std::map<std::string, KitEntry> entries;
  };

  static FsStatus AboutEntry(FsStatus status, const std::string& path) {
    status.path = path;
    return status;
  }

  Listing List(const std::string& folder) {
    Listing listing;
    platform::Directory* opened = nullptr;
    listing.failure = run_.KitFolder(folder, opened);
    if (!listing.failure.ok()) return listing;
    listing.failure = opened->List(
        [&](const DirEntry& entry) {
          listing.entries.emplace(std::string(entry.name),
                                  KitEntry{entry.attributes, entry.size, entry.modified});
          return true;
        },
        platform::ListDetail::kFull);
    return listing;
  }

  BuildRun& run_;
  std::map<std::string, Listing> listings_;
};

PlanItem Item(ItemKind kind, std::string relative) {
  PlanItem item;
  item.kind = kind;
  item.relative = std::move(relative);
  return item;
}

// Builds the plan item by item, in the order the build has always taken.
class Planner {
 public:
  explicit Planner(BuildRun& run) : run_(run), kit_(run) {}

  void SkeletonFolders() {
    for (std::string_view directory : kSkeletonDirectories) {
      // Each level on the way, once: "\Talvex", "\Talvex\etc", "\Talvex\etc\init.d".
      for (std::size_t at = directory.find('\\', 1);; at = directory.find('\\', at + 1)) {
        const std::string level(directory.substr(0, at));
        if (made_.insert(level).second) Add(Item(ItemKind::kFolder, level));
        if (at == std::string_view::npos) break;
      }
    }
  }

  void GeneratedFile(std::string_view relative, GeneratedContent content) {
    if (!content.ok()) {
      const std::size_t index = Add(Item(ItemKind::kGeneratedFile, std::string(relative)));
      Block(index, action::kWriteFile,
            platform::RefusalStatus(content.refusal, DrivePath(relative)));
      return;
    }
    auto bytes = std::make_shared<const std::string>(std::move(content.bytes));
    PlanItem master = Item(ItemKind::kMaster, std::string(relative));
    master.bytes = bytes;
    Add(std::move(master));
    pending_place_ = Item(ItemKind::kGeneratedFile, std::string(relative));
    pending_place_.bytes = std::move(bytes);
  }

  // The drive's copy of the generated file whose master came last; the loader list places the
  // game's start script between the two.
  void PlaceGenerated() {
    if (pending_place_.bytes == nullptr) return;
    const std::size_t index = Add(std::move(pending_place_));
    ClaimName(index);
    pending_place_ = {};
  }

  void KitFile(std::string_view relative) {
    const std::size_t index = Add(Item(ItemKind::kKitFile, std::string(relative)));
    if (!ClaimName(index)) return;
    const std::string spelled =
        fsutil::FindKitRelative(run_.fs(), run_.context().source_root, relative);
    const auto [folder, name] = fsutil::SplitRelative(spelled);
    KitEntry entry;
    FsStatus found = kit_.Find(std::string(folder), std::string(name), entry);
    if (found) found = RefusalOf(entry, KitPath(spelled));
    if (!found) {
      Block(index, action::kCopyFile, found);
      return;
    }
    Describe(index, spelled, entry);
  }

  // The application's folder, and a copy of every folder and file below its kit folder.
  void AppFolder(std::string_view folder_name) {
    const std::string relative = "\\" + std::string(folder_name);
    const std::size_t index = Add(Item(ItemKind::kFolder, relative));
    if (!ClaimName(index)) return;
    const std::string spelled =
        fsutil::FindKitRelative(run_.fs(), run_.context().source_root, relative);
    // Depth first, files before folders, names in byte order: one kit gives one plan.
    std::vector<std::pair<std::string, std::string>> folders{{spelled, relative}};
    while (!folders.empty()) {
      auto [kit_folder, drive_folder] = std::move(folders.back());
      folders.pop_back();
      std::vector<std::pair<std::string, KitEntry>> entries;
      platform::Directory* opened = nullptr;
      FsStatus listed = run_.KitFolder(kit_folder, opened);
      if (listed) {
        listed = opened->List(
            [&](const DirEntry& entry) {
              // A token the kit check of a killed build left in the kit is no part of the kit.
              if (entry.name.starts_with(kKitTokenPrefix)) return true;
              entries.emplace_back(std::string(entry.name),
                                   KitEntry{entry.attributes, entry.size, entry.modified});
              return true;
            },
            platform::ListDetail::kFull);
      }
      if (!listed) {
        run_.log().BeginStep(index);
        run_.log().Check(action::kCopyFolder, listed, KitPath(kit_folder));
        continue;
      }
      std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const bool a_folder = IsRealFolder(a.second);
        const bool b_folder = IsRealFolder(b.second);
        return a_folder != b_folder ? b_folder : a.first < b.first;
      });
      std::vector<std::pair<std::string, std::string>> below;
      for (const auto& [name, entry] : entries) {
        const std::string kit_relative = kit_folder + "\\" + name;
        const std::string drive_relative = drive_folder + "\\" + name;
        if (IsRealFolder(entry)) {
          const std::size_t folder_index = Add(Item(ItemKind::kFolder, drive_relative));
          if (ClaimName(folder_index)) below.emplace_back(kit_relative, drive_relative);
          continue;
        }
        const std::size_t file_index = Add(Item(ItemKind::kKitFile, drive_relative));
        if (!ClaimName(file_index)) continue;
        if (FsStatus refused = RefusalOf(entry, KitPath(kit_relative)); !refused) {
          Block(file_index, action::kCopyFile, refused);
          continue;
        }
        Describe(file_index, kit_relative, entry);
      }
      folders.insert(folders.end(), below.rbegin(), below.rend());
    }
  }

  void Own(std::string relative) { plan_.owned.push_back(std::move(relative)); }
  BuildPlan Take() { return std::move(plan_); }

 private:
  static bool IsRealFolder(const KitEntry& entry) {
    return (entry.attributes & platform::kAttrDirectory) != 0 &&
           (entry.attributes & platform::kAttrReparsePoint) == 0;
  }

  std::string KitPath(std::string_view relative) const {
    return platform::JoinPayloadPath(run_.context().source_root, relative);
  }
  std::string DrivePath(std::string_view relative) const {
    return platform::JoinPayloadPath(run_.context().target_drive, relative);
  }

  std::size_t Add(PlanItem item) {
    plan_.items.push_back(std::move(item));
    return plan_.items.size() - 1;
  }

  void Describe(std::size_t index, std::string source, const KitEntry& entry) {
    PlanItem& item = plan_.items[index];
    if (source != item.relative) item.source = std::move(source);
    item.size = entry.size;
    item.modified = entry.modified;
  }

  void Block(std::size_t index, std::string_view action, const FsStatus& why) {
    plan_.items[index].blocked = true;
    run_.log().BeginStep(index);
    run_.log().Check(action, why, DrivePath(plan_.items[index].relative));
  }

  // Two names that differ only in letter case are one entry on the television's stick: the
  // second would silently take the first one's place, so it is refused, naming both.
  bool ClaimName(std::size_t index) {
    const std::string& relative = plan_.items[index].relative;
    const std::string folded = fsutil::FoldCase(relative);
    const std::size_t hash = std::hash<std::string>{}(folded);
    const std::string* claimed = nullptr;
    for (auto [at, end] = claimed_.equal_range(hash); at != end && claimed == nullptr; ++at) {
      const std::string& other = plan_.items[at->second].relative;
      if (fsutil::FoldCase(other) == folded) claimed = &other;
    }
    if (claimed == nullptr) {
      claimed_.emplace(hash, index);
      return true;
    }
    Block(index, ActionOf(plan_.items[index]),
          platform::RefusalStatus("на флешке это то же место, что и \"" + DrivePath(*claimed) +
                                      "\" (имена различаются только регистром букв); второе не "
                                      "записано",
                                  DrivePath(relative)));
    return false;
  }

  BuildRun& run_;
  KitListings kit_;
  BuildPlan plan_;
  std::set<std::string> made_;
  // The items that took a name on the drive, by the hash of the name case-folded: a number per
  // item instead of two copies of its path (the names are folded again on a rare collision).
  std::unordered_multimap<std::size_t, std::size_t> claimed_;
  PlanItem pending_place_;
};

}  // namespace

std::string_view ActionOf(const PlanItem& item) {
  switch (item.kind) {
    case ItemKind::kFolder:
      return action::kCreateFolder;
    case ItemKind::kKitFile:
      return action::kCopyFile;
    case ItemKind::kGeneratedFile:
    case ItemKind::kMaster:
      return action::kWriteFile;
  }
  return action::kCopyFile;
}

BuildPlan PlanBuild(BuildRun& run) {
  const options::BuildOptions& options = run.context().options;
  Planner planner(run);
  planner.Own(std::string(kPayloadFolder));
  planner.SkeletonFolders();
  if (options::IsTicked(options.ChNfs)) {
    planner.GeneratedFile(kAccessNfsPath, ComposeGeneratedFile(kAccessNfsPieces, options));
    planner.PlaceGenerated();
  }
  if (options::IsTicked(options.Chsmb)) {
    planner.GeneratedFile(kAccessSmbPath, ComposeGeneratedFile(kAccessSmbPieces, options));
    planner.PlaceGenerated();
  }
  if (AnyLoaderTicked(options)) {
    // The start script goes onto the drive before the list it belongs with.
    planner.GeneratedFile(kLibrariesPath, ComposeGeneratedFile(kLibrariesPieces, options));
    planner.KitFile(kGameInitPath);
    planner.PlaceGenerated();
  }
  for (const AppFolderEntry& entry : AppFolders) {
    if (!options::IsTicked(options.*entry.Condition)) continue;
    planner.Own("\\" + std::string(entry.FolderName));
    planner.AppFolder(entry.FolderName);
  }
  for (const ManifestEntry& entry : PayloadManifest) {
    if (entry.Condition == nullptr || options::IsTicked(options.*entry.Condition)) {
      planner.KitFile(entry.RelativePath);
    }
  }
  return planner.Take();
}

}  // namespace talvex::build
