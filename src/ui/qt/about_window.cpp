#include "ui/qt/about_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QWindow>

namespace talvex::ui::qt {

namespace {

// The picture is drawn for 96 DPI and grows with the layout at higher ones.
constexpr int kPictureDpi = 96;

}  // namespace

AboutWindow::AboutWindow(QWidget* owner) : owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  MakeFixedDialogFrame(*this, kAboutWindow, Qt::Dialog, "frmAbut");
  CreateControls();
  widgets_.Place(LogicalDpiOf(*this));
  dialog_scale_ = FitDialogFonts(widgets_);
  CentreOverOwner();
}

void AboutWindow::CreateControls() {
  for (const ControlRow& row : kAboutControls) {
    QWidget* widget = nullptr;
    if (row.kind == ControlKind::kButton) {
      auto* button = new QPushButton(ToQString(CaptionOf(row)), this);
      connect(button, &QPushButton::clicked, this, &QWidget::close);
      widget = button;
    } else if (row.kind == ControlKind::kPicture) {
      auto* picture = new QLabel(this);
      QPixmap pixmap(QStringLiteral(":/talvex/television.bmp"));
      const int dpi = LogicalDpiOf(*this);
      if (dpi != kPictureDpi && !pixmap.isNull()) {
        pixmap =
            pixmap.scaled(pixmap.width() * dpi / kPictureDpi, pixmap.height() * dpi / kPictureDpi,
                          Qt::KeepAspectRatio, Qt::SmoothTransformation);
      }
      picture->setPixmap(pixmap);
      picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = picture;
    } else {
      auto* label = new QLabel(ToQString(CaptionOf(row)), this);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      // Only the title is two lines high; it wraps between its words.
      label->setWordWrap(row.height > 2 * 255);
      if (row.colour) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText,
                         QColor(row.colour->red, row.colour->green, row.colour->blue));
        label->setPalette(palette);
      }
      if (!row.link.empty()) label->installEventFilter(this);
      widget = label;
    }
    widget->setObjectName(ToQString(row.name));
    widgets_.Add(row, widget);
  }
}

void AboutWindow::CentreOverOwner() {
  if (!owner_) return;
  QRect frame = rect();
  frame.moveCenter(owner_->geometry().center());
  if (const QScreen* where = owner_->screen()) {
    const QRect work = where->availableGeometry();
    frame.moveLeft(
        std::clamp(frame.left(), work.left(), std::max(work.left(), work.right() - frame.width())));
    frame.moveTop(
        std::clamp(frame.top(), work.top(), std::max(work.top(), work.bottom() - frame.height())));
  }
  move(frame.topLeft());
}

void AboutWindow::showEvent(QShowEvent* event) {
  // Owned by the main window as far as the desktop is concerned: it stays above it and gets no
  // task bar button of its own.
  if (owner_ && windowHandle() != nullptr && owner_->windowHandle() != nullptr) {
    windowHandle()->setTransientParent(owner_->windowHandle());
  }
  QWidget::showEvent(event);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (const ControlRow* row = widgets_.RowOf(qobject_cast<QWidget*>(watched))) {
      // The address goes to the desktop as it stands, trailing space and all.
      OpenOrSay(this, QUrl(ToQString(row->link), QUrl::TolerantMode), ToQString(row->link));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
  // As in any dialog: Escape closes it, and so does Enter, its one button being "Спасибо!".
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      close();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void AboutWindow::closeEvent(QCloseEvent* event) {
  // The owner is given back first, so that it, not some other program, becomes active.
  emit closed();
  event->accept();
}

}  // namespace talvex::ui::qt
