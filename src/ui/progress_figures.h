// What the progress window shows of a build in numbers, independent of any toolkit: the bar's
// position in the range a control can hold, and the figures users know from other drive tools
// (megabytes done of the total, the current speed, the time left).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "engine/build_run.h"

namespace talvex::ui {

// A bar's range and position: progress controls hold 32-bit (Qt: int) values, and a build can
// move more than 4 GiB, so both are scaled down alike until the range fits. Done never passes
// the range.
struct BarPosition {
  int range = 0;
  int position = 0;
};
BarPosition BarPositionOf(std::uint64_t done, std::uint64_t total);

// A byte count as drive tools write it: in the largest unit of 1024 that keeps it below 1024,
// with one decimal below 100 ("14,9 ГБ", "512 МБ", "300 байт").
std::string ByteSizeText(std::uint64_t bytes, std::string_view decimal_separator);

// The figures of a running build, from the progress it tells and the time it tells it at.
class ProgressFigures {
 public:
  using Clock = std::chrono::steady_clock;

  // The build told `progress` at `now`.
  void Take(const build::BuildProgress& progress, Clock::time_point now);

  // "12,5 МБ из 52,5 МБ · 8,1 МБ/с · осталось 2 мин 5 с": the bytes once there is a total, the
  // speed once the stage has moved bytes for a second, the time left once the total is final
  // (after the comparison) and the speed known. Speed and time only while the stage moves bytes:
  // a flush or a commit says nothing of its own pace.
  std::string Text(std::string_view decimal_separator) const;

 private:
  struct Sample {
    Clock::time_point at;
    std::uint64_t bytes;
  };
  // Bytes per second over the last few seconds of this stage; 0 while not known.
  double Speed() const;

  build::BuildStage stage_ = build::BuildStage::kComparing;
  std::uint64_t done_ = 0;
  std::uint64_t total_ = 0;
  std::deque<Sample> samples_;
};

}  // namespace talvex::ui
