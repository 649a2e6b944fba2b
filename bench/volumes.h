// The drives the benchmark builds onto besides a folder of this disk: the slow stick (a folder
// mounted again through FUSE at a USB 2 stick's pace) and a FAT32 image mounted with fusefat.
// Both need root and /dev/fuse; where either is missing the part that needs it says so and is
// left out.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "slow_stick/starter.h"

namespace talvex::bench {

using slow_stick::FuseMount;
using slow_stick::StickCounters;

// The slow stick over a fresh backing folder in `folder`, 8 MB/s writing and 25 MB/s reading.
class SlowStickVolume {
 public:
  SlowStickVolume(const std::string& program, const std::string& folder);
  const std::string& unavailable() const { return unavailable_; }  // empty when mounted
  const std::string& mount_point() const { return mount_.mount_point(); }
  pid_t pid() const { return mount_.pid(); }
  // The counters as of this call (the stick rewrites its stats file on SIGUSR2).
  StickCounters Counters();
  // Everything on the stick goes, through the stick.
  void Empty() const;

 private:
  std::string stats_;
  std::uint64_t requests_ = 0;
  std::string unavailable_;
  FuseMount mount_;
};

// A FAT32 image of `mebibytes` in `folder`, mounted with fusefat; Renew() makes it anew and empty.
class Fat32Volume {
 public:
  Fat32Volume(const std::string& folder, int mebibytes);
  const std::string& unavailable() const { return unavailable_; }
  const std::string& mount_point() const { return mount_point_; }
  // Unmounts, makes a fresh image and mounts it; false (with unavailable() saying why) on failure.
  bool Renew();

 private:
  std::string image_;
  std::string mount_point_;
  std::string log_;
  int mebibytes_;
  std::string unavailable_;
  FuseMount mount_;
};

}  // namespace talvex::bench
