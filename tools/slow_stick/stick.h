// What the slow stick's operations share: the backing folder, the two paces, the counters of the
// bytes that moved, and whether the stick has been pulled.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "rate_limiter.h"

namespace talvex::slow_stick {

struct StickOptions {
  double write_bytes_per_second = 8e6;
  double read_bytes_per_second = 25e6;
  std::string stats_path;  // empty: no stats file
};

// Blocks SIGUSR1 (pull) and SIGUSR2 (tell the counters) in the calling thread and in every thread
// it starts later, so that only the stick's own watcher takes them.
void BlockStickSignals();

class Stick {
 public:
  Stick(int backing_fd, StickOptions options);
  Stick(const Stick&) = delete;
  Stick& operator=(const Stick&) = delete;

  int backing() const { return backing_fd_; }
  bool pulled() const { return pulled_.load(); }

  // Count the bytes that moved and hold the caller until the bus would have carried them; false
  // when the stick was pulled meanwhile.
  bool Wrote(std::size_t bytes);
  bool Read(std::size_t bytes);

  // For as long as the stick is mounted, a thread takes the signals and keeps the stats file
  // current (every 200 ms when a counter changed, at once on SIGUSR2, and a last time at the end).
  void StartWatching();
  void StopWatching();

 private:
  bool WaitUntil(RateLimiter::Clock::time_point due);
  void Pull();
  void Watch();
  std::string StatsText() const;
  void WriteStats(const std::string& text) const;

  int backing_fd_;
  StickOptions options_;
  RateLimiter write_pace_;
  RateLimiter read_pace_;
  std::atomic<std::uint64_t> bytes_written_{0};
  std::atomic<std::uint64_t> bytes_read_{0};
  std::atomic<std::uint64_t> writes_{0};
  std::atomic<std::uint64_t> reads_{0};
  std::atomic<std::uint64_t> stats_requests_{0};
  std::atomic<bool> pulled_{false};
  std::atomic<bool> stopping_{false};
  std::mutex pull_mutex_;  // guards nothing but the waits below, never held while sleeping
  std::condition_variable pull_wakes_;
  std::thread watcher_;
};

}  // namespace talvex::slow_stick
