// The window a build shows while it runs, over the main window, whose fixed layout has no room for
// it: what stage the build is in, the file in hand, a bar by bytes with its figures, and Stop. It
// takes the focus when it opens and keeps it: Escape and its close box ask to stop, as closing
// the main window does.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/build_run.h"
#include "ui/progress_figures.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace talvex::ui::qt {

// A bar position within QProgressBar's int range. Byte counts pass two gigabytes, so both are
// halved until the total fits; without bytes to count, the steps stand in for them.
struct BarPosition {
  int value = 0;
  int maximum = 0;  // 0: nothing to count yet, the bar only shows that something happens
};
BarPosition BarPositionOf(const build::BuildProgress& progress);

class ProgressWindow final : public QDialog {
  Q_OBJECT

 public:
  // `decimal_separator` is the user's locale's, for the figures.
  ProgressWindow(QWidget* owner, std::string decimal_separator);

  // Shows where the build is now.
  void Show(const build::BuildProgress& progress);
  // Stop was asked for: the button goes grey, the stage says so until the build ends, and the
  // window keeps the focus.
  void ShowStopping();
  // Brings the window to the front with the focus in it, on Stop while it takes keys.
  void TakeFocus();

  QLabel* stage() const { return stage_; }
  QLabel* item() const { return item_; }
  QProgressBar* bar() const { return bar_; }
  QLabel* figures() const { return figures_; }
  QPushButton* stop() const { return stop_; }

 signals:
  void stopAsked();
  // The close box or Escape: what closing the main window means during a build.
  void closeAsked();

 protected:
  void reject() override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ElideItem();

  std::string decimal_separator_;
  QLabel* stage_ = nullptr;
  QLabel* item_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* figures_ = nullptr;
  QPushButton* stop_ = nullptr;
  QString item_text_;
  ProgressFigures figure_source_;
  bool stopping_ = false;
};

}  // namespace talvex::ui::qt
