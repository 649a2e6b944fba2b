// Paces bytes to one rate shared by every thread that moves them, as a device's bus does.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

namespace talvex::slow_stick {

// A token bucket kept as the moment its debt is paid off. A caller books its bytes under a short
// lock and then waits, outside the lock, until its booking is due: parallel callers queue behind
// each other at the rate, and none holds the lock while it sleeps (a sleeping holder would stall
// every request the kernel has in flight).
class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  // `bytes_per_second` 0 or less means no limit.
  explicit RateLimiter(double bytes_per_second);

  // Books `bytes` behind every earlier booking and says when they have passed at the rate.
  Clock::time_point Book(std::size_t bytes);

 private:
  // How far behind the pace an idle or late caller may book: a burst this long absorbs the
  // scheduler's lateness without letting the average rise above the rate.
  static constexpr std::chrono::milliseconds kSlack{20};

  double bytes_per_second_;
  std::mutex mutex_;
  Clock::time_point paid_off_{};
};

}  // namespace talvex::slow_stick
