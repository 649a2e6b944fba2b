#include "rate_limiter.h"

#include <algorithm>

namespace talvex::slow_stick {

RateLimiter::RateLimiter(double bytes_per_second) : bytes_per_second_(bytes_per_second) {}

RateLimiter::Clock::time_point RateLimiter::Book(std::size_t bytes) {
  const Clock::time_point now = Clock::now();
  if (bytes_per_second_ <= 0) return now;
  const auto cost = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(bytes) / bytes_per_second_));
  std::lock_guard lock(mutex_);
  paid_off_ = std::max(paid_off_, now - kSlack) + cost;
  return paid_off_;
}

}  // namespace talvex::slow_stick
