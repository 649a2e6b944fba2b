// The applications delivered as whole folders at the root of the drive, beside \Talvex.
#pragma once

#include <array>
#include <string_view>

#include "options/build_options.h"

namespace talvex::build {

struct AppFolderEntry {
  options::CheckState options::BuildOptions::*Condition;
  std::string_view FolderName;  // letter case as it lands on the drive
};

// In the order the build handles them; arfix2-cip comes before arfix2.
inline constexpr std::array<AppFolderEntry, 7> AppFolders = {{
    {&options::BuildOptions::pvr, "PVR"},
    {&options::BuildOptions::mc, "mc"},
    {&options::BuildOptions::NetSurf, "NetSurf"},
    {&options::BuildOptions::ChInfo, "ChannelInfo"},
    {&options::BuildOptions::Switch, "Switch"},
    {&options::BuildOptions::arFix2cip, "arfix2-cip"},
    {&options::BuildOptions::arFix2, "arfix2"},
}};

}  // namespace talvex::build
