#include "ui/progress_figures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string_view>

#include "ui/window_texts.h"

namespace talvex::ui {
namespace {

constexpr std::uint64_t kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024;

TEST(BuildProgressTextTest, EveryStageHasANameOfItsOwn) {
  std::set<std::string_view> names;
  for (build::BuildStage stage :
       {build::BuildStage::kRemoving, build::BuildStage::kComparing, build::BuildStage::kWriting,
        build::BuildStage::kFlushing, build::BuildStage::kVerifying, build::BuildStage::kCommitting,
        build::BuildStage::kMeasuring}) {
    EXPECT_FALSE(StageText(stage).empty());
    names.insert(StageText(stage));
  }
  EXPECT_EQ(names.size(), 7u);
  EXPECT_EQ(StageText(build::BuildStage::kFlushing), "Сброс на диск");
}

TEST(BuildProgressTextTest, TheBarFitsAnIntAndKeepsItsProportion) {
  struct Case {
    std::uint64_t done, total;
    int range, position;
  };
  for (const Case& c : {
           Case{0, 0, 0, 0},
           Case{5, 10, 10, 5},
           Case{12, 10, 10, 10},  // the kit grew during the build: the bar stays full
           Case{kGiB, 2 * kGiB, static_cast<int>(kGiB), static_cast<int>(kGiB / 2)},
           Case{3 * kGiB, 6 * kGiB, static_cast<int>(6 * kGiB / 4), static_cast<int>(3 * kGiB / 4)},
           Case{100 * kGiB, 100 * kGiB, static_cast<int>(100 * kGiB / 64),
                static_cast<int>(100 * kGiB / 64)},
       }) {
    const BarPosition bar = BarPositionOf(c.done, c.total);
    EXPECT_EQ(bar.range, c.range) << c.done << " of " << c.total;
    EXPECT_EQ(bar.position, c.position) << c.done << " of " << c.total;
  }
}

TEST(BuildProgressTextTest, SizesAreWrittenInTheLargestUnitBelow1024) {
  struct Case {
    std::uint64_t bytes;
    std::string_view text;
  };
  for (const Case& c : {Case{0, "0 байт"}, Case{1023, "1023 байт"}, Case{1024, "1,0 КБ"},
                        Case{1536, "1,5 КБ"}, Case{100 * kKiB, "100 КБ"}, Case{kMiB - 10, "1,0 МБ"},
                        Case{16'000'000'000, "14,9 ГБ"}, Case{5 * kGiB * 1024, "5,0 ТБ"}}) {
    EXPECT_EQ(ByteSizeText(c.bytes, ","), c.text) << c.bytes;
  }
}

// A build told at these moments: the bytes as soon as there is a total, the speed once a stage
// has moved bytes for a second, the time left once the comparison has made the total final; a
// flush tells neither, and a new stage measures its own speed.
TEST(BuildProgressTextTest, FiguresFollowAScriptedBuild) {
  using build::BuildStage;
  struct Step {
    int ms;
    BuildStage stage;
    std::uint64_t done, total;
    std::string_view shown;
  };
  const Step steps[] = {
      {0, BuildStage::kComparing, 0, 0, ""},
      {0, BuildStage::kComparing, 0, 10 * kMiB, "0 байт из 10,0 МБ"},
      {500, BuildStage::kComparing, 5 * kMiB, 10 * kMiB, "5,0 МБ из 10,0 МБ"},
      {1000, BuildStage::kComparing, 10 * kMiB, 10 * kMiB, "10,0 МБ из 10,0 МБ · 10,0 МБ/с"},
      {1000, BuildStage::kWriting, 10 * kMiB, 60 * kMiB, "10,0 МБ из 60,0 МБ"},
      {2000, BuildStage::kWriting, 18 * kMiB, 60 * kMiB,
       "18,0 МБ из 60,0 МБ · 8,0 МБ/с · осталось 6 с"},
      {5000, BuildStage::kWriting, 42 * kMiB, 60 * kMiB,
       "42,0 МБ из 60,0 МБ · 8,0 МБ/с · осталось 3 с"},
      {5500, BuildStage::kFlushing, 60 * kMiB, 60 * kMiB, "60,0 МБ из 60,0 МБ"},
      {6000, BuildStage::kVerifying, 60 * kMiB, 400 * kMiB, "60,0 МБ из 400 МБ"},
      {7000, BuildStage::kVerifying, 61 * kMiB, 400 * kMiB,
       "61,0 МБ из 400 МБ · 1,0 МБ/с · осталось 5 мин 39 с"},
      {9000, BuildStage::kVerifying, 63 * kMiB, 4000 * kMiB,
       "63,0 МБ из 3,9 ГБ · 1,0 МБ/с · осталось 1 ч 5 мин"},
  };
  ProgressFigures figures;
  const ProgressFigures::Clock::time_point start{};
  for (const Step& step : steps) {
    build::BuildProgress progress;
    progress.stage = step.stage;
    progress.bytes_done = step.done;
    progress.bytes_total = step.total;
    figures.Take(progress, start + std::chrono::milliseconds(step.ms));
    EXPECT_EQ(figures.Text(","), step.shown) << step.ms << " ms";
  }
}

}  // namespace
}  // namespace talvex::ui
