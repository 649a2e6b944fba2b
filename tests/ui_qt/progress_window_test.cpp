// The progress window on its own: the bar's scale, the elided item, and what Stop leaves shown.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <cstdint>

#include "ui/qt/progress_window.h"

namespace talvex::ui::qt {
namespace {

TEST(QtBarPositionTest, FitsBytesIntoTheBarsRangeAndFallsBackOnSteps) {
  struct Case {
    const char* what;
    std::uint64_t done, total;
    std::size_t step, steps;
    int value, maximum;
  };
  constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
  const Case cases[] = {
      {"nothing known yet", 0, 0, 0, 0, 0, 0},
      {"no bytes to move: the steps", 0, 0, 3, 12, 3, 12},
      {"small counts as they are", 500, 2000, 3, 12, 500, 2000},
      {"just within int", 7, INT_MAX, 1, 2, 7, INT_MAX},
      {"a 5 GiB plan halved until it fits", 4 * kGiB, 5 * kGiB, 1, 2, 1073741824, 1342177280},
      {"more done than planned: full, not over", 3 * kGiB, 2 * kGiB, 1, 2, 1073741824, 1073741824},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    build::BuildProgress progress;
    progress.bytes_done = test.done;
    progress.bytes_total = test.total;
    progress.step = test.step;
    progress.steps = test.steps;
    const BarPosition position = BarPositionOf(progress);
    EXPECT_EQ(position.value, test.value);
    EXPECT_EQ(position.maximum, test.maximum);
  }
}

TEST(QtProgressWindowTest, ElidesTheItemInTheMiddleAndStopsOnce) {
  QWidget owner;
  ProgressWindow window(&owner, ",");
  window.show();
  QSignalSpy stop(&window, &ProgressWindow::stopAsked);

  build::BuildProgress progress;
  progress.stage = build::BuildStage::kWriting;
  const QString folder = QString("/media/user/TV STICK/Talvex") + QString("/deeper").repeated(30);
  progress.item = (folder + "/last-file.ko").toStdString();
  progress.bytes_done = 10;
  progress.bytes_total = 40;
  window.Show(progress);
  EXPECT_EQ(window.stage()->text(), "Запись");
  const QString shown = window.item()->text();
  EXPECT_TRUE(shown.startsWith("/media/user/")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("/last-file.ko")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_LE(window.item()->fontMetrics().horizontalAdvance(shown), window.item()->width());
  EXPECT_EQ(window.item()->toolTip().toStdString(), progress.item);
  EXPECT_EQ(window.bar()->value() * 4, window.bar()->maximum());
  EXPECT_EQ(window.figures()->text(), "10 байт из 40 байт");

  QTest::mouseClick(window.stop(), Qt::LeftButton);
  QTest::mouseClick(window.stop(), Qt::LeftButton);
  EXPECT_EQ(stop.count(), 1);
  EXPECT_FALSE(window.stop()->isEnabled());
  // The stage keeps saying so while the build flushes; the item and the bar go on.
  progress.stage = build::BuildStage::kFlushing;
  progress.item = "/media/user/TV STICK";
  progress.bytes_done = 20;
  window.Show(progress);
  EXPECT_EQ(window.stage()->text(), "Остановка…");
  EXPECT_EQ(window.item()->text(), "/media/user/TV STICK");
  EXPECT_EQ(window.bar()->value() * 2, window.bar()->maximum());
}

}  // namespace
}  // namespace talvex::ui::qt
