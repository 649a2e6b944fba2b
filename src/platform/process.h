// What the front ends need of the running process and the desktop.
#pragma once

#include <string>

namespace talvex::platform {

// How every program of the project ends; the values are its exit status, which scripts test.
enum class ExitStatus : int {
  kBuilt = 0,        // ran as asked (a window: closed by the user; talvex-build: no step failed)
  kStepsFailed = 1,  // the build ran and at least one step failed
  kNothingDone = 2,  // refused, or nothing to start on, before anything was touched
};

// The folder that holds the running executable, with no trailing separator except at a root.
std::string ExecutableFolder();

// The process's current folder; empty when the system cannot say (it was removed, say).
std::string CurrentFolder();

// The decimal separator of the user's locale ("," or ".").
std::string DecimalSeparator();

// Starts a program from a command line without waiting for it; `show` is the Win32 show
// command (1: a normal window that takes the focus). Returns whether it started.
bool StartProgram(const std::string& command_line, int show);

}  // namespace talvex::platform
