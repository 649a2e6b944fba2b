#include "stick.h"

#include <signal.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <utility>

namespace talvex::slow_stick {

namespace {

sigset_t StickSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGUSR2);
  return signals;
}

}  // namespace

void BlockStickSignals() {
  const sigset_t signals = StickSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

Stick::Stick(int backing_fd, StickOptions options)
    : backing_fd_(backing_fd),
      options_(std::move(options)),
      write_pace_(options_.write_bytes_per_second),
      read_pace_(options_.read_bytes_per_second) {}

bool Stick::Wrote(std::size_t bytes) {
  bytes_written_ += bytes;
  ++writes_;
  return WaitUntil(write_pace_.Book(bytes));
}

bool Stick::Read(std::size_t bytes) {
  bytes_read_ += bytes;
  ++reads_;
  return WaitUntil(read_pace_.Book(bytes));
}

bool Stick::WaitUntil(RateLimiter::Clock::time_point due) {
  std::unique_lock lock(pull_mutex_);
  // A pull wakes every waiter at once: a pulled stick does not finish the transfer in hand.
  return !pull_wakes_.wait_until(lock, due, [this] { return pulled_.load(); });
}

void Stick::Pull() {
  {
    std::lock_guard lock(pull_mutex_);
    pulled_ = true;
  }
  pull_wakes_.notify_all();
}

void Stick::StartWatching() {
  watcher_ = std::thread([this] { Watch(); });
}

void Stick::StopWatching() {
  stopping_ = true;
  if (watcher_.joinable()) watcher_.join();
  WriteStats(StatsText());
}

void Stick::Watch() {
  const sigset_t signals = StickSignals();
  const timespec tick{0, 200'000'000};
  std::string written;
  while (!stopping_) {
    const int signal = sigtimedwait(&signals, nullptr, &tick);
    if (signal == SIGUSR1) Pull();
    if (signal == SIGUSR2) {
      ++stats_requests_;
      std::fputs(StatsText().c_str(), stderr);
    }
    std::string text = StatsText();
    if (text != written) {
      WriteStats(text);
      written = std::move(text);
    }
  }
}

std::string Stick::StatsText() const {
  std::ostringstream text;
  text << "bytes_written " << bytes_written_ << "\nbytes_read " << bytes_read_ << "\nwrites "
       << writes_ << "\nreads " << reads_ << "\npulled " << (pulled_ ? 1 : 0) << "\nstats_requests "
       << stats_requests_ << '\n';
  return text.str();
}

// Whole or not at all: a reader never sees half a file.
void Stick::WriteStats(const std::string& text) const {
  if (options_.stats_path.empty()) return;
  const std::string fresh = options_.stats_path + ".new";
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return;
  }
  std::rename(fresh.c_str(), options_.stats_path.c_str());
}

}  // namespace talvex::slow_stick
