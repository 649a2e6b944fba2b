// frmAbut on Linux: the About window, with the program's version beside its button. It stands
// over the main window, which stays disabled until this window closes, by its button or its close
// box.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/qt/qt_ui.h"

namespace talvex::ui::qt {

class AboutWindow final : public QWidget {
  Q_OBJECT

 public:
  // A window of its own (a child widget would be disabled along with its owner), centred over
  // `owner` and deleted when it closes.
  explicit AboutWindow(QWidget* owner);

  const PlacedWidgets& widgets() const { return widgets_; }
  double dialog_scale() const { return dialog_scale_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 signals:
  // The window is closing; the owner takes input again.
  void closed();

 private:
  void CreateControls(const DialogScale& scale);
  void ShowVersion(const DialogScale& scale);
  void CentreOverOwner();

  QPointer<QWidget> owner_;
  PlacedWidgets widgets_;
  double dialog_scale_ = 1.0;
};

}  // namespace talvex::ui::qt
