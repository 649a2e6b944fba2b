// What the progress window shows while a build runs, independent of any toolkit: the name of the
// stage, its other texts, and the bar's position in the range a control can hold.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/build_run.h"

namespace talvex::ui {

inline constexpr std::string_view kProgressTitle = "Сборка";
inline constexpr std::string_view kStopCaption = "Стоп";
// The stage line once Stop has been pressed: the build ends the file in hand and flushes.
inline constexpr std::string_view kStoppingText = "Остановка…";
// What closing the main window during a build asks first; No is the default.
inline constexpr std::string_view kCloseDuringBuildQuestion =
    "Сборка ещё идёт. Остановить её и закрыть программу?";

// The stage as the progress window names it.
std::string_view StageText(build::BuildStage stage);

// A bar's range and position: progress controls hold 32-bit (Qt: int) values, and a build can
// move more than 4 GiB, so both are scaled down alike until the range fits. Done never passes
// the range.
struct BarPosition {
  int range = 0;
  int position = 0;
};
BarPosition BarPositionOf(std::uint64_t done, std::uint64_t total);

}  // namespace talvex::ui
