// The plan of a build: the payload these choices make, worked out from the kit before the drive
// is touched. It is what the drive must hold when the build ends - every folder and file below
// \Talvex and in each ticked application's folder, with its exact name and where its bytes come
// from - and the masters written into the kit on the way. The later stages compare it with the
// drive and reach it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_run.h"

namespace talvex::build {

// The payload folder on the drive, relative to its root.
inline constexpr std::string_view kPayloadFolder = "\\Talvex";

// The skeleton, created in this order, each with all its parent levels.
inline constexpr std::array<std::string_view, 7> kSkeletonDirectories = {
    "\\Talvex\\etc\\init.d",
    "\\Talvex\\lib\\modules\\mak",
    "\\Talvex\\lib\\modules\\treasure",
    "\\Talvex\\opt\\brandeval\\bin",
    "\\Talvex\\opt\\brandeval\\lib",
    "\\Talvex\\opt\\brandeval\\usr\\bin",
    "\\Talvex\\opt\\brandeval\\usr\\sbin",
};

enum class ItemKind {
  kFolder,         // a folder on the drive
  kKitFile,        // a file on the drive, a copy of a kit file
  kGeneratedFile,  // a file on the drive with bytes the build composed
  kMaster,         // a generated file's master, written into the kit
};

// One item of the plan, in the order the build has always taken.
struct PlanItem {
  ItemKind kind = ItemKind::kFolder;
  // Where it goes: below the drive's root, or below the kit's for a master. Backslash form, in
  // the letter case it must have ("\Talvex\etc\rc.sysinit").
  std::string relative;
  // A kit file's path below the kit where the kit spells it otherwise than `relative`; empty
  // when both are spelled alike (most are: a hundred thousand files would hold each twice).
  std::string source;
  std::shared_ptr<const std::string> bytes;  // what a generated file or master holds
  std::uint64_t size = 0;                    // a kit file's size, as planned
  platform::FileTime modified = 0;           // a kit file's modification time
  // It cannot be placed (its kit file is missing, or is a link): the drive ends without it, and
  // the failure that says why is in the run's log.
  bool blocked = false;

  std::uint64_t Size() const { return bytes != nullptr ? bytes->size() : size; }
  // A kit file's path below the kit, in the kit's own spelling.
  std::string_view Source() const { return source.empty() ? std::string_view(relative) : source; }
  bool IsFile() const { return kind == ItemKind::kKitFile || kind == ItemKind::kGeneratedFile; }
};

struct BuildPlan {
  std::vector<PlanItem> items;
  // The drive's folders whose whole content the build decides: \Talvex and each ticked
  // application's folder. Whatever else is in them goes.
  std::vector<std::string> owned;
};

// The plan for the run's choices and kit. Reads the kit (through the run's kit root); touches
// nothing. What cannot be planned - a kit file missing or not a plain file, a generated file
// whose fields cannot be written, two names one stick cannot tell apart - is recorded in the
// run's log against its item, which is then blocked.
BuildPlan PlanBuild(BuildRun& run);

// The report's name of the work that places `item` ("Копирование файла", "Создание папки").
std::string_view ActionOf(const PlanItem& item);

}  // namespace talvex::build
