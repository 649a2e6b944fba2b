// The applications a build can place on the drive: the one table that says, for each, which box
// chooses it, what the window calls it, which folder it is in the kit and on the drive, whether
// the extension loader starts it and how the command line names it. The option fields, the
// build's folder and loader lists, the command line's flags and the demo kit are all read from
// here, so adding an application means adding a row (and the record's member for its box).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "options/build_options.h"

namespace talvex::options {

struct Application {
  CheckField box;
  std::string_view name;  // the box's control in the window, and the option field's name
  std::string_view caption;
  std::string_view tooltip;
  std::string_view folder;  // in the kit and on the drive, letter case as it lands
  // Where the build copies the folder among the others (0 first). The build has always taken
  // PVR first and ArFix2ci+ before ArFix2, which is not the window's order.
  std::size_t build_rank;
  bool has_loader;        // its folder holds a loader.so that the loader list names
  std::string_view flag;  // --flag ticks the box, --no-flag unticks it
};

// In the window's order, which is also the order of the loader list.
inline constexpr std::array<Application, 7> kApplications = {{
    {&BuildOptions::mc, "mc", "MC", "Консольный файловый менеджер Midnight Commander", "mc", 1,
     false, "mc"},
    {&BuildOptions::NetSurf, "NetSurf", "NetSurf", "Браузер NetSurf", "NetSurf", 2, false,
     "netsurf"},
    {&BuildOptions::pvr, "pvr", "PVR", "Запись программ с ТВ Запись програм с телевизора", "PVR", 0,
     true, "pvr"},
    {&BuildOptions::ChInfo, "ChInfo", "CH.Info", "ChannelInfo", "ChannelInfo", 3, true,
     "channel-info"},
    {&BuildOptions::Switch, "Switch", "Switch", "Switch", "Switch", 4, true, "switch"},
    {&BuildOptions::arFix2, "arFix2", "ArFix2", "", "arfix2", 6, true, "arfix2"},
    {&BuildOptions::arFix2cip, "arFix2cip", "ArFix2ci+", "", "arfix2-cip", 5, true, "arfix2-ci"},
}};

// How many applications have a loader.
constexpr std::size_t LoaderCount() {
  std::size_t count = 0;
  for (const Application& app : kApplications) count += app.has_loader ? 1 : 0;
  return count;
}

// The row of the application that `box` chooses, or nullptr when the box chooses none.
constexpr const Application* ApplicationOf(CheckField box) {
  for (const Application& app : kApplications) {
    if (app.box == box) return &app;
  }
  return nullptr;
}

}  // namespace talvex::options
