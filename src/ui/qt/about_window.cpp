#include "ui/qt/about_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QUrl>
#include <QWindow>

#include <functional>
#include <utility>

namespace talvex::ui::qt {

namespace {

// The picture is a 32-bit bitmap whose fourth byte is its premultiplied alpha, as the Windows
// window blends it: where it is clear, the window's own background shows. Qt's reader takes that
// byte for padding, so the rows are read here. Null when the file is not such a bitmap.
QImage BlendablePicture(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  const auto field = [&data](int offset, int size) {
    quint32 value = 0;
    for (int byte = size - 1; byte >= 0; --byte) {
      value = (value << 8) | static_cast<quint8>(data[offset + byte]);
    }
    return value;
  };
  constexpr int kHeaderSize = 54;  // the file's header and the bitmap's
  if (data.size() < kHeaderSize || !data.startsWith("BM") || field(28, 2) != 32 ||
      field(30, 4) != 0) {
    return {};
  }
  const auto width = static_cast<int>(field(18, 4));
  const auto height = static_cast<qint32>(field(22, 4));
  const qint64 pixels = field(10, 4);
  const qint64 row_bytes = qint64{width} * 4;
  const int rows = height < 0 ? -height : height;
  if (width <= 0 || rows == 0 || pixels + row_bytes * rows > data.size()) {
    return {};
  }
  // Blue, green, red, alpha in memory: Qt's premultiplied ARGB on a little-endian machine.
  QImage image(width, rows, QImage::Format_ARGB32_Premultiplied);
  for (int row = 0; row < rows; ++row) {
    const int from = height > 0 ? rows - 1 - row : row;  // stored bottom-up unless negative
    for (int x = 0; x < width; ++x) {
      const qint64 at = pixels + row_bytes * from + qint64{x} * 4;
      image.setPixel(x, row,
                     qRgba(static_cast<quint8>(data[at + 2]), static_cast<quint8>(data[at + 1]),
                           static_cast<quint8>(data[at]), static_cast<quint8>(data[at + 3])));
    }
  }
  return image;
}

// A label that opens its address: by the mouse, and, since it takes the focus by Tab, by Enter
// or Space, with the focus drawn round its text.
class LinkLabel final : public QLabel {
  Q_OBJECT  // a class of its own to the accessibility factories, which a QLabel's would take

      public : LinkLabel(const QString& text, std::function<void()> open, QWidget* parent)
      : QLabel(text, parent), open_(std::move(open)) {
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text);
    SetAccessibleRole(*this, QAccessible::Link);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) open_();
  }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Space:
        open_();
        return;
      default:
        QLabel::keyPressEvent(event);
    }
  }
  void paintEvent(QPaintEvent* event) override {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = fontMetrics()
                     .boundingRect(contentsRect(), static_cast<int>(alignment()), text())
                     .intersected(rect());
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }

 private:
  std::function<void()> open_;
};

}  // namespace

AboutWindow::AboutWindow(QWidget* owner) : owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  const DialogScale scale = MakeFixedDialogFrame(*this, kAboutWindow, Qt::Dialog, "frmAbut");
  CreateControls(scale);
  dialog_scale_ = FitDialogFonts(widgets_, scale);
  ShowVersion(scale);
  CentreOverOwner();
  // The links come first in Tab's order, but the window opens on its one button.
  if (QWidget* thanks = widgets_.Find(AboutControl(ControlRole::kThanks).name)) {
    thanks->setFocus(Qt::OtherFocusReason);
  }
}

void AboutWindow::CreateControls(const DialogScale& scale) {
  for (const ControlRow& row : kAboutControls) {
    QWidget* widget = nullptr;
    if (row.kind == ControlKind::kButton) {
      auto* button = new QPushButton(ToQString(CaptionOf(row)), this);
      connect(button, &QPushButton::clicked, this, &QWidget::close);
      widget = button;
    } else if (row.kind == ControlKind::kPicture) {
      auto* picture = new QLabel(this);
      // It fills its place, which grows with the layout.
      const QSize room = scale.Rect(row.left, row.top, row.width, row.height).size();
      const QImage image = BlendablePicture(QStringLiteral(":/talvex/television.bmp"));
      if (!image.isNull()) {
        picture->setPixmap(
            QPixmap::fromImage(image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
      }
      picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      picture->setAccessibleName(ToQString(CaptionOf(row)));
      widget = picture;
    } else {
      // The address goes to the desktop as it stands, trailing space and all.
      const QString link = ToQString(row.link);
      auto* label =
          row.link.empty()
              ? new QLabel(ToQString(CaptionOf(row)), this)
              : new LinkLabel(
                    ToQString(CaptionOf(row)),
                    [this, link] { OpenOrSay(this, QUrl(link, QUrl::TolerantMode), link); }, this);
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
      widget = label;
    }
    widget->setObjectName(ToQString(row.name));
    widgets_.Add(row, widget);
  }
}

void AboutWindow::ShowVersion(const DialogScale& scale) {
  // In the free corner right of the button, where it takes room from no control of the table.
  auto* version = new QLabel(QStringLiteral(TALVEX_VERSION), this);
  version->setObjectName(QStringLiteral("Version"));
  version->setGeometry(scale.Rect(2760, 4920, 990, 375));
  version->setAlignment(Qt::AlignRight | Qt::AlignBottom);
  version->setForegroundRole(QPalette::PlaceholderText);
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

#include "about_window.moc"
