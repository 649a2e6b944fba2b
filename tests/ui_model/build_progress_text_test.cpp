#include "ui/build_progress_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string_view>

namespace talvex::ui {
namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

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

}  // namespace
}  // namespace talvex::ui
