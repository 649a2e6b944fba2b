#include "ui/qt/qt_ui.h"

#include <QDesktopServices>
#include <QMessageBox>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include <QAccessibleWidget>

#include <algorithm>

#include "ui/window_texts.h"

namespace talvex::ui::qt {

namespace {

constexpr char kRoleProperty[] = "talvexAccessibleRole";

// Consulted before the toolkit's own factories: a widget given a role gets it, with the name and
// state the toolkit gives any widget (a window's title, a widget's accessible name).
QAccessibleInterface* RoleGiven(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (widget == nullptr) return nullptr;
  const QVariant role = widget->property(kRoleProperty);
  if (!role.isValid()) return nullptr;
  return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

// The smallest dialog scale tried: three quarters of the desktop's size, still readable.
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
    // A check mark cut at the box's edge is as unreadable as a cut caption.
    if (check && !button->rect().contains(
                     style.subElementRect(QStyle::SE_CheckBoxIndicator, &option, button))) {
      return false;
    }
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

// The size the widget needs for its caption: its own, widened by what the caption's line lacks
// and heightened to one line of text (a check box: to its check mark too).
QSize SizeForCaption(const QWidget& widget) {
  const QFontMetrics metrics(widget.font());
  QSize need = widget.size();
  if (const auto* box = qobject_cast<const QCheckBox*>(&widget)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QStyle& style = *box->style();
    const int room = style.subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
    need.rwidth() += std::max(0, metrics.horizontalAdvance(box->text()) - room);
    need.rheight() =
        std::max({need.height(), metrics.height(),
                  style.subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).height()});
  } else if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
    if (label->wordWrap()) {
      need.rheight() = std::max(need.height(), label->heightForWidth(label->width()));
    } else {
      need.rwidth() +=
          std::max(0, metrics.horizontalAdvance(label->text()) - label->contentsRect().width());
      need.rheight() = std::max(need.height(), metrics.height());
    }
  }
  return need;
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

void PlacedWidgets::Place(const DialogScale& scale) const {
  for (const Placed& placed : placed_) {
    const ControlRow& row = *placed.row;
    QRect place = scale.Rect(row.left, row.top, row.width, row.height);
    // Some rows reach into their frame's border; the border stays whole.
    if (const auto* frame = qobject_cast<const QGroupBox*>(placed.widget->parentWidget())) {
      place = place.intersected(frame->contentsRect());
    }
    placed.widget->setGeometry(place);
  }
}

int LogicalDpiOf(const QWidget& window) {
  return window.logicalDpiY();
}

QString DialogFamily() {
  return QGuiApplication::font().family();
}

QFont FontOf(const FontSpec& face, double font_ratio) {
  const bool dialog = face.family == kDialogFamily;
  QFont font(dialog ? DialogFamily() : ToQString(face.family));
  font.setPointSizeF(face.size_centipoints / 100.0 * font_ratio);
  font.setBold(face.bold);
  return font;
}

double FitDialogFonts(const PlacedWidgets& widgets, const DialogScale& layout) {
  double scale = 1.0;
  for (;; scale -= kDialogScaleStep) {
    // The fonts first: a frame's inside depends on its caption's.
    for (const auto& placed : widgets) {
      placed.widget->setFont(FontOf(placed.row->font, layout.font_ratio * scale));
    }
    widgets.Place(layout);
    GrowToCaptions(widgets);
    if (CaptionsThatDoNotFit(widgets).empty() || scale <= kSmallestDialogScale) break;
  }
  return scale;
}

namespace {

// The rows at the top of a picture that are clear: what is under them shows through.
int ClearRowsOnTop(const QWidget& widget) {
  const auto* picture = qobject_cast<const QLabel*>(&widget);
  if (picture == nullptr || picture->pixmap().isNull()) return 0;
  const QImage image = picture->pixmap().toImage();
  int row = 0;
  for (; row < image.height(); ++row) {
    bool clear = true;
    for (int x = 0; x < image.width() && clear; ++x) clear = qAlpha(image.pixel(x, row)) == 0;
    if (!clear) break;
  }
  return static_cast<int>(row / image.devicePixelRatio());
}

// How far `widget` may reach right (`down` false) or down: to its container's inside, short of
// the controls placed beside or below it there (a picture below: short of what it draws).
int Reach(const PlacedWidgets& widgets, const QWidget& widget, bool down) {
  const QRect now = widget.geometry();
  const QRect inside = widget.parentWidget()->contentsRect();
  int reach =
      down ? std::max(now.bottom(), inside.bottom()) : std::max(now.right(), inside.right());
  for (const auto& other : widgets) {
    if (other.widget == &widget || other.widget->parentWidget() != widget.parentWidget()) continue;
    const QRect there = other.widget->geometry();
    if (down && there.left() <= now.right() && there.right() >= now.left() &&
        there.top() > now.top()) {
      reach =
          std::min(reach, std::max(now.bottom(), there.top() + ClearRowsOnTop(*other.widget) - 1));
    } else if (!down && there.top() <= now.bottom() && there.bottom() >= now.top() &&
               there.left() > now.left()) {
      reach = std::min(reach, std::max(now.right(), there.left() - 1));
    }
  }
  return reach;
}

}  // namespace

void GrowToCaptions(const PlacedWidgets& widgets) {
  for (const auto& placed : widgets) {
    QWidget& widget = *placed.widget;
    if (!HasCaption(*placed.row) || CaptionFits(widget) || widget.parentWidget() == nullptr) {
      continue;
    }
    const QRect now = widget.geometry();
    const int widest = Reach(widgets, widget, false) - now.left() + 1;
    if (const auto* label = qobject_cast<const QLabel*>(&widget); label && label->wordWrap()) {
      // The narrowest width at which the wrapped text keeps to the label's lines.
      int width = now.width();
      while (width < widest && label->heightForWidth(width) > now.height()) ++width;
      widget.resize(width, now.height());
    } else {
      widget.resize(std::min(SizeForCaption(widget).width(), widest), now.height());
    }
    const int highest = Reach(widgets, widget, true) - now.top() + 1;
    widget.resize(widget.width(), std::min(SizeForCaption(widget).height(), highest));
  }
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

DialogScale MakeFixedDialogFrame(QWidget& window, const WindowSpec& layout, Qt::WindowType type,
                                 const char* object_name) {
  window.setObjectName(QString::fromUtf8(object_name));
  window.setWindowIcon(QIcon(QStringLiteral(":/talvex/talvex.ico")));
  window.setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  window.setWindowTitle(ToQString(layout.title));
  // A plain widget is a "filler" to a screen reader; these are the program's frame and dialog.
  SetAccessibleRole(window, type == Qt::Dialog ? QAccessible::Dialog : QAccessible::Window);
  const DialogScale scale = DesktopDialogScale(window);
  window.setFixedSize(scale.X(layout.client_width), scale.Y(layout.client_height));
  return scale;
}

void SetAccessibleRole(QWidget& widget, QAccessible::Role role) {
  static const bool installed = [] {
    QAccessible::installFactory(RoleGiven);
    return true;
  }();
  (void)installed;
  widget.setProperty(kRoleProperty, static_cast<int>(role));
  // An interface made while the widget was being built (a label's text set in its constructor
  // tells an active screen reader) would keep the toolkit's role: it goes, and the next one asked
  // for comes from the factory above.
  QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&widget);
  if (made != nullptr && made->role() != role) {
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
  }
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
