#include "engine/compare.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <random>

#include "engine/step_actions.h"
#include "engine/verify.h"
#include "fsutil/beneath.h"
#include "fsutil/kit_lookup.h"
#include "platform/paths.h"

namespace talvex::build {
namespace {

using platform::DirEntry;
using platform::FsStatus;

constexpr std::uint32_t kUnusualAttributes =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;

// An entry of a folder on the drive, and whether an item of the plan has taken it.
struct DriveEntry {
  std::string name;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  platform::FileTime modified = 0;
  bool claimed = false;

  bool IsRealFolder() const {
    return (attributes & platform::kAttrDirectory) != 0 &&
           (attributes & platform::kAttrReparsePoint) == 0;
  }
  bool IsPlainFile() const {
    return (attributes &
            (platform::kAttrDirectory | platform::kAttrReparsePoint | platform::kAttrDevice)) == 0;
  }
};

// A folder of the plan as the drive has it.
struct FolderOnDrive {
  bool made = false;   // made by this build: nothing of the drive is in it
  std::string staged;  // below the drive's root, as spelled there while the build writes
  bool listed = false;
  bool unreadable = false;
  bool has_leftovers = false;  // temporaries of a build that did not end are in it
  std::vector<DriveEntry> entries;
};

// A file of the plan as the drive has it.
struct FileOnDrive {
  FolderOnDrive* parent = nullptr;
  DriveEntry* found = nullptr;  // the entry whose bytes decide, if any
  DriveEntry* exact = nullptr;  // the plain file of the exact name, if any
};

std::string Child(const std::string& folder, std::string_view name) {
  return folder + "\\" + std::string(name);
}

bool SameTime(platform::FileTime a, platform::FileTime b) {
  return std::llabs(a - b) <= platform::kFatTimeStep;
}

ItemWork Work(Change change, std::string staged, bool renamed_into_place = false) {
  ItemWork work;
  work.change = change;
  work.staged = std::move(staged);
  work.renamed_into_place = renamed_into_place;
  return work;
}

class Comparer {
 public:
  Comparer(BuildRun& run, const BuildPlan& plan) : run_(run), plan_(plan) {
    // An item not compared (a stop came first) is still to be written.
    changes_.work.resize(plan.items.size(), Work(Change::kWrite, {}));
    files_.resize(plan.items.size());
    folders_[""] = FolderOnDrive{};
  }

  void CompareItems() {
    for (std::size_t index = 0; index < plan_.items.size() && !run_.StopAsked(); ++index) {
      const PlanItem& item = plan_.items[index];
      run_.BeginStep(index, platform::JoinPayloadPath(run_.context().target_drive, item.relative));
      if (item.kind == ItemKind::kMaster) {
        changes_.work[index] = Work(Change::kWrite, item.relative);
        continue;
      }
      const auto [parent_relative, name_view] = fsutil::SplitRelative(item.relative);
      const std::string name(name_view);
      FolderOnDrive& parent = folders_[std::string(parent_relative)];
      if (item.kind == ItemKind::kFolder) {
        CompareFolder(index, parent, name);
      } else {
        CompareFile(index, parent, name);
      }
    }
  }

  // The files whose bytes decide, compared with the kit's (or the composed) bytes.
  void CompareBytes() {
    std::uint64_t total = 0;
    for (const FileToCompare& file : to_compare_) total += plan_.items[file.item].Size();
    run_.BeginStage(BuildStage::kComparing, total);
    CompareFiles(run_, plan_, to_compare_, run_.context().verify,
                 [&](std::size_t index, const FsStatus& same) {
                   const std::size_t item = to_compare_[index].item;
                   if (same) {
                     Keep(item);
                   } else {
                     Write(item);
                   }
                 });
  }

  // Whatever an owned folder holds that no item took goes; at the root only our leftovers.
  void FindStale() {
    for (auto& [relative, folder] : folders_) {
      if (folder.made) continue;
      if (!relative.empty()) List(folder);
      for (const DriveEntry& entry : folder.entries) {
        if (entry.claimed) continue;
        if (!relative.empty() || IsTemporaryName(entry.name)) Stale(folder, entry);
      }
    }
  }

  Changes Take() { return std::move(changes_); }

 private:
  void List(FolderOnDrive& folder) {
    if (folder.listed || folder.made) return;
    folder.listed = true;
    platform::Directory* opened = nullptr;
    FsStatus listed = run_.DriveFolder(folder.staged, opened);
    if (listed) {
      listed = opened->List(
          [&](const DirEntry& entry) {
            folder.entries.push_back(
                {std::string(entry.name), entry.attributes, entry.size, entry.modified});
            if (IsTemporaryName(entry.name)) folder.has_leftovers = true;
            return true;
          },
          platform::ListDetail::kFull);
    }
    if (!listed) {
      // What is in it cannot be known: nothing there is kept, and nothing is found stale.
      folder.unreadable = true;
      folder.entries.clear();
      run_.log().Check(action::kReadFolder, listed,
                       platform::JoinPayloadPath(run_.context().target_drive, folder.staged));
    }
  }

  // The entries of `folder` that are `name` on a stick: the same letters in any case.
  std::vector<DriveEntry*> Matches(FolderOnDrive& folder, std::string_view name) {
    List(folder);
    std::vector<DriveEntry*> matches;
    const std::string folded = fsutil::FoldCase(name);
    for (DriveEntry& entry : folder.entries) {
      if (fsutil::FoldCase(entry.name) == folded) matches.push_back(&entry);
    }
    for (DriveEntry* entry : matches) entry->claimed = true;
    return matches;
  }

  // The match to take: the one spelled exactly, else the first of the wanted kind.
  template <typename Fits>
  static DriveEntry* Best(const std::vector<DriveEntry*>& matches, std::string_view name,
                          Fits fits) {
    DriveEntry* best = nullptr;
    for (DriveEntry* entry : matches) {
      if (!fits(*entry)) continue;
      if (entry->name == name) return entry;
      if (best == nullptr) best = entry;
    }
    return best;
  }

  void Stale(const FolderOnDrive& folder, const DriveEntry& entry) {
    changes_.stale.push_back(Child(folder.staged, entry.name));
    if (entry.IsPlainFile()) changes_.bytes_stale += entry.size;
  }

  void StaleAllBut(const FolderOnDrive& folder, const std::vector<DriveEntry*>& matches,
                   const DriveEntry* kept) {
    for (const DriveEntry* entry : matches) {
      if (entry != kept) Stale(folder, *entry);
    }
  }

  // A folder the drive lacks is made with its name while the build writes (it is empty until
  // the commit puts files into it, and goes again if the build ends before). What stands in its
  // way - a file of its name, a folder of its name in other letters - goes first: folders are
  // never renamed, since some FAT drivers lose a folder's contents when one is.
  void CompareFolder(std::size_t index, FolderOnDrive& parent, const std::string& name) {
    const PlanItem& item = plan_.items[index];
    ItemWork& work = changes_.work[index];
    FolderOnDrive folder;
    folder.staged = Child(parent.staged, name);
    if (parent.made) {
      folder.made = true;
      work = Work(Change::kWrite, folder.staged);
      folders_[item.relative] = std::move(folder);
      return;
    }
    const std::vector<DriveEntry*> matches = Matches(parent, name);
    DriveEntry* found = nullptr;
    for (DriveEntry* entry : matches) {
      if (entry->IsRealFolder() && entry->name == name) found = entry;
    }
    for (DriveEntry* entry : matches) {
      if (entry != found) changes_.removed_first.push_back(Child(parent.staged, entry->name));
    }
    if (found == nullptr) {
      folder.made = true;
      work = Work(Change::kWrite, folder.staged);
    } else {
      work = Work(Change::kKeep, folder.staged);
      work.fix_attributes = (found->attributes & kUnusualAttributes) != 0;
    }
    folders_[item.relative] = std::move(folder);
  }

  void CompareFile(std::size_t index, FolderOnDrive& parent, const std::string& name) {
    const PlanItem& item = plan_.items[index];
    ItemWork& work = changes_.work[index];
    work.staged = Child(parent.staged, name);
    files_[index].parent = &parent;
    if (parent.made) {
      if (item.blocked) {
        work.change = Change::kAbsent;
      } else {
        Write(index);
      }
      return;
    }
    const std::vector<DriveEntry*> matches = Matches(parent, name);
    DriveEntry* found = item.blocked ? nullptr : Best(matches, name, [&](const DriveEntry& e) {
      return e.IsPlainFile() && e.size == item.Size();
    });
    // The exact name's old file is replaced by the rename; every other match goes first.
    DriveEntry* exact = nullptr;
    for (DriveEntry* entry : matches) {
      if (entry->name == name && entry->IsPlainFile()) exact = entry;
    }
    StaleAllBut(parent, matches, found != nullptr ? found : exact);
    if (item.blocked) {
      work.change = Change::kAbsent;
      return;
    }
    files_[index].found = found;
    files_[index].exact = exact;
    if (found == nullptr) {
      Write(index);
    } else if (!run_.context().verify && item.kind == ItemKind::kKitFile &&
               SameTime(found->modified, item.modified)) {
      Keep(index);
    } else {
      // Compared where it is; the view stays valid, the work's list never grows.
      if (found->name != name) work.staged = Child(parent.staged, found->name);
      to_compare_.push_back({index, work.staged});
    }
  }

  void Keep(std::size_t index) {
    const PlanItem& item = plan_.items[index];
    ItemWork& work = changes_.work[index];
    const FileOnDrive& file = files_[index];
    const DriveEntry& found = *file.found;
    work.change = Change::kKeep;
    if (found.name != LastName(work.staged)) work.staged = Child(file.parent->staged, found.name);
    if (found.name != LastName(item.relative)) work.found_as = found.name;
    work.fix_attributes = (found.attributes & kUnusualAttributes) != 0;
    work.fix_time = item.kind == ItemKind::kKitFile && !SameTime(found.modified, item.modified);
    // Another spelling of the name kept, the file of the exact name is in the way.
    if (file.exact != nullptr && file.exact != &found) Stale(*file.parent, *file.exact);
  }

  void Write(std::size_t index) {
    const PlanItem& item = plan_.items[index];
    ItemWork& work = changes_.work[index];
    const FileOnDrive& file = files_[index];
    const FolderOnDrive& parent = *file.parent;
    work.change = Change::kWrite;
    work.staged = Child(parent.staged, FreeTemporaryName(parent));
    work.renamed_into_place = true;
    changes_.bytes_to_write += item.Size();
    const DriveEntry* found = file.found;
    const DriveEntry* exact = file.exact;
    // A variant in another letter case that was a candidate is in the way of the new name.
    if (found != nullptr && found != exact) Stale(parent, *found);
    if (exact != nullptr) {
      changes_.bytes_replaced += exact->size;
      work.replaces_old = true;
    }
  }

  // A temporary name no entry of `folder` has: a leftover of another run might.
  static std::string FreeTemporaryName(const FolderOnDrive& folder) {
    for (;;) {
      std::string name = TemporaryEntryName();
      if (!folder.has_leftovers) return name;
      const std::string folded = fsutil::FoldCase(name);
      if (std::none_of(folder.entries.begin(), folder.entries.end(),
                       [&](const DriveEntry& e) { return fsutil::FoldCase(e.name) == folded; })) {
        return name;
      }
    }
  }

  static std::string_view LastName(std::string_view relative) {
    return relative.substr(relative.rfind('\\') + 1);
  }

  BuildRun& run_;
  const BuildPlan& plan_;
  Changes changes_;
  std::map<std::string, FolderOnDrive> folders_;  // by the plan's spelling; "" is the root
  std::vector<FileToCompare> to_compare_;
  // For each file of the plan: its folder, the entry compared, the exact name's entry (one small
  // record per item; maps keyed by item cost several times as much at a hundred thousand files).
  std::vector<FileOnDrive> files_;
};

}  // namespace

namespace {

constexpr char kNameDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

void AppendDigits(std::string& name, std::uint64_t number, int at_least) {
  std::string digits;
  for (; number > 0 || at_least > 0; number /= 36, --at_least) digits += kNameDigits[number % 36];
  name.append(digits.rbegin(), digits.rend());
}

}  // namespace

bool IsTemporaryName(std::string_view name) {
  if (name.starts_with(kEarlierTemporaryPrefix)) return true;
  // Only the exact form: a user's file that merely begins alike is not ours to take.
  if (!name.starts_with(kTemporaryPrefix) || name.size() == kTemporaryPrefix.size()) return false;
  return name.substr(kTemporaryPrefix.size()).find_first_not_of(kNameDigits) ==
         std::string_view::npos;
}

std::string TemporaryEntryName() {
  // Three random digits for each run (a leftover of another run seldom bears them, and the
  // comparison steps round one that does), then the count: ".tvx-k3f0", ".tvx-k3f1", ...
  static const std::uint64_t run = [] {
    std::random_device random;
    return std::uint64_t{random()} % (36 * 36 * 36);
  }();
  static std::atomic<std::uint64_t> counter{0};
  std::string name(kTemporaryPrefix);
  AppendDigits(name, run, 3);
  AppendDigits(name, counter.fetch_add(1), 1);
  return name;
}

std::vector<std::string> PlaceInPlace(const BuildPlan& plan, Changes& changes) {
  std::vector<std::string> first = changes.stale;
  changes.stale.clear();
  for (std::size_t index = 0; index < plan.items.size(); ++index) {
    ItemWork& work = changes.work[index];
    if (work.change != Change::kWrite || !work.renamed_into_place) continue;
    const PlanItem& item = plan.items[index];
    work.staged = work.staged.substr(0, work.staged.rfind('\\') + 1) +
                  item.relative.substr(item.relative.rfind('\\') + 1);
    work.renamed_into_place = false;
    if (work.replaces_old) first.push_back(work.staged);
  }
  return first;
}

Changes CompareWithDrive(BuildRun& run, const BuildPlan& plan) {
  Comparer comparer(run, plan);
  comparer.CompareItems();
  comparer.CompareBytes();
  if (!run.StopAsked()) comparer.FindStale();
  return comparer.Take();
}

}  // namespace talvex::build
