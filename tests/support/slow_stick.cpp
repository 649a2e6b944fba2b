#include "support/slow_stick.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "engine/compare.h"

namespace talvex::testing {

namespace {

using namespace std::chrono_literals;
using slow_stick::Within;

constexpr auto kExitWait = 10s;
constexpr auto kStatsWait = 5s;

// What the layer said last, as the reason it gives for ending.
std::string LastWords(const std::string& log) {
  const std::string said = slow_stick::WhatItSaid(log);
  return said.empty() ? "(it said nothing)" : said;
}

// Why the stick cannot be mounted here at all, or empty.
std::string WhyNoStickHere() {
  if (std::string_view(TALVEX_SLOW_STICK_PROGRAM).empty()) {
    return "talvex-slow-stick is not built here (libfuse3-dev is missing)";
  }
  return slow_stick::WhyNoFuse();
}

}  // namespace

bool CopyingPast(const std::string& folder, std::uintmax_t bytes) {
  return slow_stick::CopyingPast(folder, build::kTemporaryPrefix, bytes);
}

SlowStick::SlowStick(SlowStickRates rates)
    : backing_(folder_ / "backing"),
      mount_point_(folder_ / "stick"),
      stats_(folder_ / "stats"),
      log_(folder_ / "log") {
  MakeDirs(backing_);
  MakeDirs(mount_point_);
  // As the mount table spells it, whatever links the temporary folder's path goes through.
  mount_point_ = std::filesystem::canonical(mount_point_).string();
  unavailable_ = WhyNoStickHere();
  if (unavailable_.empty()) Mount(rates);
  if (mount_.pid() <= 0 && unavailable_.empty()) unavailable_ = "the slow stick did not start";
}

SlowStick::~SlowStick() {
  Unmount();
}

void SlowStick::Mount(const SlowStickRates& rates) {
  const std::string write_rate = "--write-rate=" + std::to_string(rates.write_mb_per_second);
  const std::string read_rate = "--read-rate=" + std::to_string(rates.read_mb_per_second);
  using slow_stick::MountOutcome;
  const MountOutcome outcome = mount_.Mount({TALVEX_SLOW_STICK_PROGRAM, backing_, mount_point_,
                                             "-f", "--stats", stats_, write_rate, read_rate},
                                            mount_point_, log_, false);
  if (outcome == MountOutcome::kNotStarted) {
    ADD_FAILURE() << "cannot start " << TALVEX_SLOW_STICK_PROGRAM << ": " << std::strerror(errno);
  } else if (outcome == MountOutcome::kEnded) {  // FUSE refused it here
    unavailable_ = "the slow stick could not mount here: " + LastWords(log_);
  } else if (outcome == MountOutcome::kTimedOut) {
    ADD_FAILURE() << "the slow stick did not mount within 10 s: " << LastWords(log_);
  }
}

// A lazy unmount succeeds even while the test still holds a file open on the stick; the layer
// ends once the kernel lets go of it.
void SlowStick::Unmount() {
  if (!mount_.Unmount(kExitWait)) {
    ADD_FAILURE() << "the slow stick did not end within 10 s of its unmount";
  }
}

void SlowStick::Pull() {
  ASSERT_GT(mount_.pid(), 0);
  kill(mount_.pid(), SIGUSR1);
  EXPECT_TRUE(Within(kStatsWait, [&] { return Counters().pulled; }));
}

SlowStickCounters SlowStick::Counters() {
  SlowStickCounters counters;
  if (mount_.pid() <= 0) return counters;
  EXPECT_TRUE(slow_stick::AskCounters(mount_.pid(), stats_, ++stats_requests_, counters))
      << "the slow stick did not rewrite its stats file";
  return counters;
}

}  // namespace talvex::testing
