#include "ui/qt/progress_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "ui/control_table.h"
#include "ui/qt/qt_ui.h"
#include "ui/window_texts.h"

namespace talvex::ui::qt {

namespace {

// Wide enough for a mount point and a few folders of the payload before the middle is elided.
constexpr int kWidthAt96Dpi = 460;

QLabel* NewLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

BarPosition BarPositionOf(const build::BuildProgress& progress) {
  // Without bytes to count, the steps stand in for them.
  const bool bytes = progress.bytes_total != 0;
  const ui::BarPosition scaled = ui::BarPositionOf(bytes ? progress.bytes_done : progress.step,
                                                   bytes ? progress.bytes_total : progress.steps);
  return {scaled.position, scaled.range};
}

ProgressWindow::ProgressWindow(QWidget* owner, std::string decimal_separator)
    : QDialog(owner), decimal_separator_(std::move(decimal_separator)) {
  setObjectName(QStringLiteral("FrmProgress"));
  setWindowTitle(ToQString(kMainWindow.title));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  // Not modal: a window blocked by a modal one never hears of its close box, and the main
  // window's close box must ask too. Its controls are locked by the build instead.
  setWindowModality(Qt::NonModal);

  stage_ = NewLabel("Stage", this);
  QFont bold = stage_->font();
  bold.setBold(true);
  stage_->setFont(bold);
  item_ = NewLabel("Item", this);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("Bar"));
  bar_->setRange(0, 0);
  figures_ = NewLabel("Figures", this);
  stop_ = new QPushButton(ToQString(kStopCaption), this);
  stop_->setObjectName(QStringLiteral("Stop"));
  stop_->setAutoDefault(false);
  connect(stop_, &QPushButton::clicked, this, [this] {
    ShowStopping();
    emit stopAsked();
  });

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(figures_, 1);
  buttons->addWidget(stop_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(stage_);
  layout->addWidget(item_);
  layout->addWidget(bar_);
  layout->addLayout(buttons);
  setFixedWidth(kWidthAt96Dpi * LogicalDpiOf(*this) / 96);
  setFixedHeight(sizeHint().height());
  // The path goes in the middle, so an empty label must not make the window grow later.
  item_->setMinimumWidth(0);
}

void ProgressWindow::Show(const build::BuildProgress& progress) {
  if (!stopping_) stage_->setText(ToQString(StageText(progress.stage)));
  const QString item = QString::fromStdString(progress.item);
  if (item != item_text_) {
    item_text_ = item;
    ElideItem();
  }
  const BarPosition position = BarPositionOf(progress);
  if (bar_->maximum() != position.maximum) bar_->setRange(0, position.maximum);
  bar_->setValue(position.value);
  figure_source_.Take(progress, ProgressFigures::Clock::now());
  figures_->setText(ToQString(figure_source_.Text(decimal_separator_)));
}

void ProgressWindow::ShowStopping() {
  stopping_ = true;
  stage_->setText(ToQString(kStoppingText));
  stop_->setEnabled(false);
  TakeFocus();
}

void ProgressWindow::TakeFocus() {
  raise();
  activateWindow();
  // A disabled Stop passes the focus on to nothing: the window keeps it, so Escape still asks.
  if (stop_->isEnabled()) {
    stop_->setFocus(Qt::ActiveWindowFocusReason);
  } else {
    setFocus(Qt::ActiveWindowFocusReason);
  }
}

void ProgressWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  TakeFocus();
  // Once more after the window manager has mapped it: asked too early, the activation is lost.
  QTimer::singleShot(0, this, &ProgressWindow::TakeFocus);
}

void ProgressWindow::reject() {
  // The dialog ends with the build, never on its own.
  emit closeAsked();
}

void ProgressWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ElideItem();
}

void ProgressWindow::ElideItem() {
  // The file's name is at the end and the volume at the start; the folders between give way.
  item_->setText(item_->fontMetrics().elidedText(item_text_, Qt::ElideMiddle, item_->width()));
  item_->setToolTip(item_text_);
}

}  // namespace talvex::ui::qt
