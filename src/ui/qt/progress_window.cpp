#include "ui/qt/progress_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/control_table.h"
#include "ui/qt/qt_ui.h"

namespace talvex::ui::qt {

namespace {

// Wide enough for a mount point and a few folders of the payload before the middle is elided.
constexpr int kWidthAt96Dpi = 460;

}  // namespace

BarPosition BarPositionOf(const build::BuildProgress& progress) {
  // Without bytes to count, the steps stand in for them.
  const bool bytes = progress.bytes_total != 0;
  const ui::BarPosition scaled = ui::BarPositionOf(bytes ? progress.bytes_done : progress.step,
                                                   bytes ? progress.bytes_total : progress.steps);
  return {scaled.position, scaled.range};
}

ProgressWindow::ProgressWindow(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("FrmProgress"));
  setWindowTitle(ToQString(kMainWindow.title));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  // Only the main window is blocked: the rest of the desktop stays usable during a long copy.
  setWindowModality(Qt::WindowModal);

  stage_ = new QLabel(this);
  stage_->setObjectName(QStringLiteral("Stage"));
  QFont bold = stage_->font();
  bold.setBold(true);
  stage_->setFont(bold);
  item_ = new QLabel(this);
  item_->setObjectName(QStringLiteral("Item"));
  item_->setTextFormat(Qt::PlainText);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("Bar"));
  bar_->setRange(0, 0);
  stop_ = new QPushButton(ToQString(kStopCaption), this);
  stop_->setObjectName(QStringLiteral("Stop"));
  stop_->setAutoDefault(false);
  connect(stop_, &QPushButton::clicked, this, [this] {
    ShowStopping();
    emit stopAsked();
  });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
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
}

void ProgressWindow::ShowStopping() {
  stopping_ = true;
  stage_->setText(ToQString(kStoppingText));
  stop_->setEnabled(false);
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
