#include "ui/progress_figures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/window_texts.h"

namespace talvex::ui {

namespace {

using build::BuildStage;

// The speed is taken over this last stretch of a stage, and known once this much of it has gone.
constexpr auto kSpeedWindow = std::chrono::seconds(3);
constexpr auto kSpeedKnownAfter = std::chrono::seconds(1);

bool MovesBytes(BuildStage stage) {
  return stage == BuildStage::kComparing || stage == BuildStage::kWriting ||
         stage == BuildStage::kVerifying;
}

// After the comparison the total counts everything the build still reads and writes.
bool TotalIsFinal(BuildStage stage) {
  return stage != BuildStage::kRemoving && stage != BuildStage::kComparing;
}

std::string WithOneDecimal(double value, std::string_view decimal_separator) {
  const auto tenths = static_cast<long long>(std::llround(value * 10));
  return std::to_string(tenths / 10) + std::string(decimal_separator) + std::to_string(tenths % 10);
}

std::string TimeText(std::uint64_t seconds) {
  const std::uint64_t hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
  if (hours > 0) {
    return std::to_string(hours) + std::string(kHours) + " " + std::to_string(minutes) +
           std::string(kMinutes);
  }
  if (minutes > 0) {
    return std::to_string(minutes) + std::string(kMinutes) + " " + std::to_string(rest) +
           std::string(kSeconds);
  }
  return std::to_string(rest) + std::string(kSeconds);
}

}  // namespace

BarPosition BarPositionOf(std::uint64_t done, std::uint64_t total) {
  constexpr auto kLargest = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  done = std::min(done, total);
  while (total > kLargest) {
    total >>= 1;
    done >>= 1;
  }
  return {static_cast<int>(total), static_cast<int>(done)};
}

std::string ByteSizeText(std::uint64_t bytes, std::string_view decimal_separator) {
  constexpr std::size_t kUnits = std::size(kByteUnits);
  if (bytes < 1024) return std::to_string(bytes) + " " + std::string(kByteUnits[0]);
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  // Rounded as shown: 1023.97 KiB shows as "1,0 МБ", not as "1024 КБ".
  while (unit + 1 < kUnits && std::llround(value) >= 1024) {
    value /= 1024;
    ++unit;
  }
  const std::string number = std::llround(value * 10) < 1000
                                 ? WithOneDecimal(value, decimal_separator)
                                 : std::to_string(std::llround(value));
  return number + " " + std::string(kByteUnits[unit]);
}

void ProgressFigures::Take(const build::BuildProgress& progress, Clock::time_point now) {
  if (progress.stage != stage_) samples_.clear();
  stage_ = progress.stage;
  done_ = progress.bytes_done;
  total_ = progress.bytes_total;
  samples_.push_back({now, done_});
  // The oldest sample kept is the last one older than the window, so the window stays full.
  while (samples_.size() > 2 && now - samples_[1].at >= kSpeedWindow) samples_.pop_front();
}

double ProgressFigures::Speed() const {
  if (!MovesBytes(stage_) || samples_.size() < 2) return 0;
  const Sample& first = samples_.front();
  const Sample& last = samples_.back();
  const std::chrono::duration<double> span = last.at - first.at;
  if (last.at - first.at < kSpeedKnownAfter || last.bytes <= first.bytes) return 0;
  return static_cast<double>(last.bytes - first.bytes) / span.count();
}

std::string ProgressFigures::Text(std::string_view decimal_separator) const {
  if (total_ == 0) return {};
  std::string text = ByteSizeText(std::min(done_, total_), decimal_separator) + std::string(kOf) +
                     ByteSizeText(total_, decimal_separator);
  const double speed = Speed();
  if (speed <= 0) return text;
  text += std::string(kFigureSeparator) +
          ByteSizeText(static_cast<std::uint64_t>(speed), decimal_separator) +
          std::string(kPerSecond);
  if (TotalIsFinal(stage_) && total_ > done_) {
    const auto seconds = static_cast<std::uint64_t>(std::ceil((total_ - done_) / speed));
    text += std::string(kFigureSeparator) + std::string(kTimeLeft) + TimeText(seconds);
  }
  return text;
}

}  // namespace talvex::ui
