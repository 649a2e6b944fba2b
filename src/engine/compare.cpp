#include "engine/compare.h"

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
  std::vector<DriveEntry> entries;
};

// "\a\b\c" as the folder "\a\b" and the name "c".
void Split(std::string_view relative, std::string& folder, std::string& name) {
  std::string_view folder_view;
  std::string_view name_view;
  fsutil::SplitRelative(relative, folder_view, name_view);
  folder = folder_view;
  name = name_view;
}

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
      std::string parent_relative;
      std::string name;
      Split(item.relative, parent_relative, name);
      FolderOnDrive& parent = folders_[parent_relative];
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
        if (!relative.empty() || entry.name.starts_with(kTemporaryPrefix)) Stale(folder, entry);
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
    parents_[index] = &parent;
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
    found_[index] = found;
    exact_[index] = exact;
    if (found == nullptr) {
      Write(index);
    } else if (!run_.context().verify && item.kind == ItemKind::kKitFile &&
               SameTime(found->modified, item.modified)) {
      Keep(index);
    } else {
      to_compare_.push_back({index, Child(parent.staged, found->name)});
    }
  }

  void Keep(std::size_t index) {
    const PlanItem& item = plan_.items[index];
    ItemWork& work = changes_.work[index];
    const DriveEntry& found = *found_[index];
    work.change = Change::kKeep;
    work.staged = Child(parents_[index]->staged, found.name);
    if (found.name != LastName(item.relative)) work.found_as = found.name;
    work.fix_attributes = (found.attributes & kUnusualAttributes) != 0;
    work.fix_time = item.kind == ItemKind::kKitFile && !SameTime(found.modified, item.modified);
    // Another spelling of the name kept, the file of the exact name is in the way.
    if (exact_[index] != nullptr && exact_[index] != &found)
      Stale(*parents_[index], *exact_[index]);
  }

  void Write(std::size_t index) {
    const PlanItem& item = plan_.items[index];
    ItemWork& work = changes_.work[index];
    const FolderOnDrive& parent = *parents_[index];
    work.change = Change::kWrite;
    work.staged = Child(parent.staged, TemporaryEntryName());
    work.renamed_into_place = true;
    changes_.bytes_to_write += item.Size();
    const DriveEntry* found = found_.contains(index) ? found_[index] : nullptr;
    const DriveEntry* exact = exact_.contains(index) ? exact_[index] : nullptr;
    // A variant in another letter case that was a candidate is in the way of the new name.
    if (found != nullptr && found != exact) Stale(parent, *found);
    if (exact != nullptr) {
      changes_.bytes_replaced += exact->size;
      work.replaces_old = true;
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
  // For the files whose bytes decide: their folder, the entry compared, the exact name's entry.
  std::map<std::size_t, FolderOnDrive*> parents_;
  std::map<std::size_t, DriveEntry*> found_;
  std::map<std::size_t, DriveEntry*> exact_;
};

}  // namespace

std::string TemporaryEntryName() {
  // Random for each run, counted within it: no two entries of any two builds meet.
  static const std::uint64_t run = [] {
    std::random_device random;
    return (std::uint64_t{random()} << 32) ^ random();
  }();
  static std::atomic<std::uint64_t> counter{0};
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name(kTemporaryPrefix);
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(run >> shift) & 15];
  name += '-';
  name += std::to_string(counter.fetch_add(1));
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
