#include "ui/qt/qt_ui.h"

#include <QDesktopServices>
#include <QMessageBox>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

namespace talvex::ui::qt {

namespace {

// The smallest dialog scale tried: 6 pt instead of 8, still readable.
constexpr double kSmallestDialogScale = 0.75;
constexpr double kDialogScaleStep = 0.25 / 8.0;

// Whether the widget's style leaves room for its caption: the text's advance within the rect
// the style draws the text in, and one line of text within the widget's height.
bool CaptionFits(const QWidget& widget) {
  const QFontMetrics metrics(widget.font());
  const QStyle& style = *widget.style();
  if (const auto* label = qobject_cast<const QLabel*>(&widget); label && label->wordWrap()) {
    for (const QString& word : label->text().split(' ', Qt::SkipEmptyParts)) {
      if (metrics.horizontalAdvance(word) > label->contentsRect().width()) return false;
    }
    return label->heightForWidth(label->width()) <= label->height();
  }
  QString text;
  int room = widget.width();
  if (const auto* frame = qobject_cast<const QGroupBox*>(&widget)) {
    if (frame->title().isEmpty()) return true;
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title =
        style.subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
    text = frame->title();
    room = frame->width() - title.left();
  } else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool check = qobject_cast<const QCheckBox*>(button) != nullptr;
    room = style
               .subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                               &option, button)
               .width();
    text = button->text();
  } else if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
    text = label->text();
    room = label->contentsRect().width();
  }
  return metrics.horizontalAdvance(text) <= room && metrics.height() <= widget.height();
}

bool HasCaption(const ControlRow& row) {
  return !CaptionOf(row).empty() && row.kind != ControlKind::kTextBox &&
         row.kind != ControlKind::kDriveList && row.kind != ControlKind::kPicture;
}

}  // namespace

QWidget* PlacedWidgets::Find(std::string_view name) const {
  for (const Placed& placed : placed_) {
    if (placed.row->name == name) return placed.widget;
  }
  return nullptr;
}

const ControlRow* PlacedWidgets::RowOf(const QWidget* widget) const {
  for (const Placed& placed : placed_) {
    if (placed.widget == widget) return placed.row;
  }
  return nullptr;
}

void PlacedWidgets::Place(int dpi) const {
  for (const Placed& placed : placed_) {
    const ControlRow& row = *placed.row;
    placed.widget->setGeometry(TwipsToPixels(row.left, dpi), TwipsToPixels(row.top, dpi),
                               TwipsToPixels(row.width, dpi), TwipsToPixels(row.height, dpi));
  }
}

int LogicalDpiOf(const QWidget& window) {
  return window.logicalDpiY();
}

QString DialogFamily() {
  return QGuiApplication::font().family();
}

QFont FontOf(const FontSpec& face, double dialog_scale) {
  const bool dialog = face.family == kDialogFamily;
  QFont font(dialog ? DialogFamily() : ToQString(face.family));
  font.setPointSizeF(face.size_centipoints / 100.0 * (dialog ? dialog_scale : 1.0));
  font.setBold(face.bold);
  return font;
}

double FitDialogFonts(const PlacedWidgets& widgets) {
  double scale = 1.0;
  for (;; scale -= kDialogScaleStep) {
    for (const auto& placed : widgets) placed.widget->setFont(FontOf(placed.row->font, scale));
    if (CaptionsThatDoNotFit(widgets).empty() || scale <= kSmallestDialogScale) break;
  }
  return scale;
}

std::vector<std::string> CaptionsThatDoNotFit(const PlacedWidgets& widgets) {
  std::vector<std::string> names;
  for (const auto& placed : widgets) {
    if (HasCaption(*placed.row) && !CaptionFits(*placed.widget)) {
      names.emplace_back(placed.row->name);
    }
  }
  return names;
}

void MakeFixedDialogFrame(QWidget& window, const WindowSpec& layout, Qt::WindowType type,
                          const char* object_name) {
  window.setObjectName(QString::fromUtf8(object_name));
  window.setWindowIcon(QIcon(QStringLiteral(":/talvex/talvex.ico")));
  window.setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  window.setWindowTitle(ToQString(layout.title));
  const int dpi = LogicalDpiOf(window);
  window.setFixedSize(TwipsToPixels(layout.client_width, dpi),
                      TwipsToPixels(layout.client_height, dpi));
}

void OpenOrSay(QWidget* parent, const QUrl& url, const QString& shown) {
  if (QDesktopServices::openUrl(url)) return;
  QMessageBox box(QMessageBox::Warning, ToQString(kMainWindow.title), ToQString(kNothingOpens),
                  QMessageBox::Ok, parent);
  box.setInformativeText(shown);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.exec();
}

}  // namespace talvex::ui::qt
