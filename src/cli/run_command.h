// talvex-build as a function of its arguments and its three standard streams, so that main()
// only sets up the process around it.
#pragma once

#include <atomic>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/file_system.h"

namespace talvex::cli {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool err_is_terminal = false;             // progress is shown only to a person watching
  const std::atomic<bool>* stop = nullptr;  // set (by Ctrl+C) to stop the build after its step
  // Called once everything is read and checked, just before the build: from then on Ctrl+C
  // sets `stop` instead of ending the program. Until then - while a password is read from
  // standard input, say - Ctrl+C ends it at once, as it ends any program that has done nothing.
  std::function<void()> catch_interrupts;
};

// Parses, checks, builds (or lists the steps of a dry run) and prints the report. Returns how
// the program ends.
ExitStatus RunCommand(const std::vector<std::string>& arguments, Console& console,
                      platform::FileSystem& fs);

}  // namespace talvex::cli
