// The slow stick (tools/slow_stick) for a test: a fresh folder mounted again at a USB 2 stick's
// pace while the object lives, unmounted and its process ended when it goes.
#pragma once

#include <cstdint>
#include <string>

#include "slow_stick/starter.h"
#include "support/test_support.h"

namespace talvex::testing {

struct SlowStickRates {
  double write_mb_per_second = 8;
  double read_mb_per_second = 25;
};

using SlowStickCounters = slow_stick::StickCounters;

// Whether `folder` (best the backing folder's, which the stick does not slow) holds a temporary of
// a build (".tvx-...") larger than `bytes`: the build is copying a large file there.
bool CopyingPast(const std::string& folder, std::uintmax_t bytes);

class SlowStick {
 public:
  explicit SlowStick(SlowStickRates rates = {});
  ~SlowStick();
  SlowStick(const SlowStick&) = delete;
  SlowStick& operator=(const SlowStick&) = delete;

  // Why no stick could be mounted on this machine (the test skips with it); empty when mounted.
  const std::string& unavailable() const { return unavailable_; }
  const std::string& mount_point() const { return mount_point_; }
  // The folder under the stick, reached without it.
  const std::string& backing() const { return backing_; }

  // Pulls the stick (SIGUSR1); returns once the layer says it is pulled.
  void Pull();
  // The layer's counters as of this call (it rewrites its stats file on SIGUSR2).
  SlowStickCounters Counters();

 private:
  void Mount(const SlowStickRates& rates);
  void Unmount();

  TempDir folder_;
  std::string backing_;
  std::string mount_point_;
  std::string stats_;
  std::string log_;
  slow_stick::FuseMount mount_;
  std::uint64_t stats_requests_ = 0;
  std::string unavailable_;
};

}  // namespace talvex::testing
