#include "ui/build_progress_text.h"

#include <algorithm>
#include <limits>

namespace talvex::ui {

std::string_view StageText(build::BuildStage stage) {
  switch (stage) {
    case build::BuildStage::kRemoving:
      return "Удаление старой сборки";
    case build::BuildStage::kComparing:
      return "Сравнение с флешкой";
    case build::BuildStage::kWriting:
      return "Запись";
    case build::BuildStage::kFlushing:
      return "Сброс на диск";
    case build::BuildStage::kVerifying:
      return "Проверка записанного";
    case build::BuildStage::kCommitting:
      return "Замена старых файлов новыми";
    case build::BuildStage::kMeasuring:
      return "Подсчёт размера";
  }
  return {};
}

BarPosition BarPositionOf(std::uint64_t done, std::uint64_t total) {
  constexpr auto kLargest = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  done = std::min(done, total);
  while (total > kLargest) {
    total >>= 1;
    done >>= 1;
  }
  return {static_cast<int>(total), static_cast<int>(done)};
}

}  // namespace talvex::ui
