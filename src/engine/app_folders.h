// The applications delivered as whole folders at the root of the drive, beside \Talvex.
#pragma once

#include <array>
#include <string_view>

#include "options/applications.h"
#include "options/build_options.h"

namespace talvex::build {

struct AppFolderEntry {
  options::CheckState options::BuildOptions::*Condition = nullptr;
  std::string_view FolderName;  // letter case as it lands on the drive
};

// In the order the build handles them (the applications' build ranks): arfix2-cip comes before
// arfix2.
inline constexpr std::array<AppFolderEntry, options::kApplications.size()> AppFolders = [] {
  std::array<AppFolderEntry, options::kApplications.size()> folders{};
  for (const options::Application& app : options::kApplications) {
    folders.at(app.build_rank) = {app.box, app.folder};
  }
  return folders;
}();

// Each rank taken exactly once: a rank given twice would leave a place empty.
static_assert([] {
  for (const AppFolderEntry& entry : AppFolders) {
    if (entry.Condition == nullptr) return false;
  }
  return true;
}());

}  // namespace talvex::build
