#include "volumes.h"

#include <filesystem>
#include <vector>

#include "bench_support.h"

namespace talvex::bench {
namespace {

namespace fs = std::filesystem;

// Mounts argv at `mount_point` in a session of its own (a Ctrl+C meant for the benchmark does not
// pull the drive from under it); the reason when it did not mount.
std::string MountOrWhyNot(FuseMount& mount, const std::vector<std::string>& argv,
                          const std::string& mount_point, const std::string& log) {
  if (mount.Mount(argv, mount_point, log, true) == slow_stick::MountOutcome::kMounted) return {};
  const std::string words = slow_stick::WhatItSaid(log);
  return argv[0] + " did not mount " + mount_point + (words.empty() ? "" : ": " + words);
}

std::string Canonical(const std::string& folder) {
  fs::create_directories(folder);
  return fs::canonical(folder).string();
}

}  // namespace

SlowStickVolume::SlowStickVolume(const std::string& program, const std::string& folder) {
  unavailable_ = slow_stick::WhyNoFuse();
  if (program.empty()) unavailable_ = "talvex-slow-stick is not built (libfuse3-dev is missing)";
  if (!unavailable_.empty()) return;
  const std::string backing = folder + "/backing";
  fs::remove_all(backing);
  fs::create_directories(backing);
  stats_ = folder + "/stats";
  unavailable_ = MountOrWhyNot(mount_,
                               {program, backing, Canonical(folder + "/stick"), "-f", "--stats",
                                stats_, "--write-rate=8", "--read-rate=25"},
                               Canonical(folder + "/stick"), folder + "/stick.log");
}

StickCounters SlowStickVolume::Counters() {
  StickCounters counters;
  if (!slow_stick::AskCounters(mount_.pid(), stats_, ++requests_, counters)) {
    Fail("the slow stick did not rewrite its stats file");
  }
  return counters;
}

void SlowStickVolume::Empty() const {
  for (const std::string& entry : TopLevelEntries(mount_point())) fs::remove_all(entry);
}

Fat32Volume::Fat32Volume(const std::string& folder, int mebibytes)
    : image_(folder + "/fat32.img"),
      mount_point_(Canonical(folder + "/volume")),
      log_("/dev/null"),  // it tells of every sector it touches
      mebibytes_(mebibytes) {
  unavailable_ = slow_stick::WhyNoFuse();
  for (const char* tool : {"mkfs.vfat", "fusefat"}) {
    if (unavailable_.empty() && Run({"sh", "-c", std::string("command -v ") + tool}) != 0) {
      unavailable_ = std::string(tool) + " is missing (tools/install-deps.sh installs it)";
    }
  }
}

bool Fat32Volume::Renew() {
  if (!unavailable_.empty()) return false;
  mount_.Unmount();
  fs::remove(image_);
  if (Run({"mkfs.vfat", "-F", "32", "-C", image_, std::to_string(mebibytes_ * 1024)}) != 0) {
    unavailable_ = "mkfs.vfat failed";
    return false;
  }
  unavailable_ = MountOrWhyNot(mount_, {"fusefat", "-f", "-o", "rw+", image_, mount_point_},
                               mount_point_, log_);
  return unavailable_.empty();
}

}  // namespace talvex::bench
