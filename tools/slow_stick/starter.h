// Starting a FUSE program (the slow stick, fusefat), waiting for its mount, asking the slow stick
// for its counters and unmounting: what the benchmark and the tests that mount a stick share.
// Linux only, like the stick itself; nothing here needs libfuse.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace talvex::slow_stick {

// Polls `done` every 10 ms until it holds or `limit` has passed.
template <typename Done>
bool Within(std::chrono::steady_clock::duration limit, Done done) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Why FUSE volumes cannot be mounted here (they need root and /dev/fuse), or empty.
std::string WhyNoFuse();

// Starts argv (looked for on PATH unless it names a path) with its output and errors going to
// the file `output`, or to its starter's when that is empty. With `own_session` it runs in a
// session of its own with no input, so that a Ctrl+C meant for its starter does not end it.
// Returns its process, or -1 with errno saying why it could not start.
pid_t StartProgram(const std::vector<std::string>& argv, const std::string& output,
                   bool own_session = false);

// What the file `log` holds, without the line ends at its end.
std::string WhatItSaid(const std::string& log);

enum class MountOutcome {
  kMounted,
  kNotStarted,  // errno says why
  kEnded,       // the process ended on its own before mounting: FUSE refused it
  kTimedOut,    // no mount within 10 s: the process was unmounted and ended
};

// A FUSE process in the foreground, mounted at a folder, unmounted and ended when the object goes.
class FuseMount {
 public:
  FuseMount() = default;
  ~FuseMount() { Unmount(); }
  FuseMount(const FuseMount&) = delete;
  FuseMount& operator=(const FuseMount&) = delete;

  // Starts argv (whose process must mount at `mount_point`, writing to `log`) and waits for the
  // mount; a mount held before goes first.
  MountOutcome Mount(const std::vector<std::string>& argv, const std::string& mount_point,
                     const std::string& log, bool own_session);
  // A lazy unmount, which goes even while something still holds a file open there; the process
  // ends once the kernel lets go of it, or is killed after `limit`. False when it had to be.
  bool Unmount(std::chrono::steady_clock::duration limit = std::chrono::seconds(20));
  pid_t pid() const { return pid_; }
  const std::string& mount_point() const { return mount_point_; }

 private:
  pid_t pid_ = -1;
  std::string mount_point_;
};

// Whether `folder` (best the backing folder's, which the stick does not slow) holds an entry
// whose name starts with `prefix` (a build's temporaries') larger than `bytes`: a build is
// copying a large file there.
bool CopyingPast(const std::string& folder, std::string_view prefix, std::uintmax_t bytes);

struct StickCounters {
  std::uint64_t bytes_written = 0;
  std::uint64_t bytes_read = 0;
  bool pulled = false;
};

// Has the stick's process `pid` rewrite its stats file `stats` (SIGUSR2) and reads it once it
// answers the ask number `request` (counting from 1); false when 5 s pass first.
bool AskCounters(pid_t pid, const std::string& stats, std::uint64_t request,
                 StickCounters& counters);

}  // namespace talvex::slow_stick
