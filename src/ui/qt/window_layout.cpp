#include "ui/qt/window_layout.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

#include <algorithm>
#include <utility>

#include "ui/qt/qt_ui.h"
#include "ui/window_texts.h"

namespace talvex::ui::qt {

namespace {

// The letters Windows measures a font's average character width by.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr double kOriginalDialogPoints = kDialogFont.size_centipoints / 100.0;

// Frames drawn as dialog frames: an etched border two lines thick, broken where the caption stands
// in it at the middle of the caption's line. Everything is measured from the frame's font, so
// the caption's band grows with it and the controls inside (placed in twips from the frame's
// corner, the band included) stay clear of it.
class CaptionInBorderStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                       const QWidget* widget) const override {
    const auto* frame = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || frame == nullptr) {
      return QProxyStyle::subControlRect(control, option, part, widget);
    }
    const QFontMetrics& metrics = frame->fontMetrics;
    const int band = frame->text.isEmpty() ? 0 : metrics.height();
    const QRect& all = frame->rect;
    switch (part) {
      case SC_GroupBoxFrame:
        return all.adjusted(0, band / 2, 0, 0);
      case SC_GroupBoxLabel: {
        if (band == 0) return {};
        // A character in from the corner, with a space's half on either side of the text.
        const int gap = metrics.horizontalAdvance(QLatin1Char(' ')) / 2;
        const QRect label(all.left() + metrics.averageCharWidth() - gap, all.top(),
                          metrics.horizontalAdvance(frame->text) + 2 * gap, band);
        return label.intersected(all);
      }
      case SC_GroupBoxContents:
        return all.adjusted(kLine, std::max(band, band / 2 + kLine), -kLine, -kLine);
      default:
        return QProxyStyle::subControlRect(control, option, part, widget);
    }
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    const auto* frame = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || frame == nullptr) {
      QProxyStyle::drawComplexControl(control, option, painter, widget);
      return;
    }
    const QRect border = subControlRect(control, option, SC_GroupBoxFrame, widget);
    const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
    painter->save();
    QRegion around(frame->rect);
    painter->setClipRegion(around.subtracted(QRegion(label)));
    // The shadow line, and the light one a pixel right and below it, each one pixel of the screen
    // wide, through the middle of its logical pixel. On a screen scaled by 1.5 a frame may start
    // half a screen pixel into one: a line on the logical pixel's edge then falls outside the
    // frame, and a line one logical pixel wide straddles two rows, the light one overwriting it.
    const QRectF line = QRectF(border).adjusted(0.5, 0.5, -kLine + 0.5, -kLine + 0.5);
    QPen pen(frame->palette.color(QPalette::Dark), 1);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawRect(line);
    pen.setColor(frame->palette.color(QPalette::Light));
    painter->setPen(pen);
    painter->drawRect(line.translated(1, 1));
    painter->restore();
    if (!label.isEmpty()) {
      drawItemText(painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, frame->palette,
                   (frame->state & State_Enabled) != 0, frame->text, QPalette::WindowText);
    }
  }

 private:
  static constexpr int kLine = 2;  // the etched border's thickness
};

// One instance for every frame, over the application's own style, gone with the application.
QStyle* FrameStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    style = new CaptionInBorderStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(qApp);
  }
  return style;
}

}  // namespace

DialogScale DialogScaleOf(const QFont& font, const QWidget& device) {
  const QFontMetrics metrics(font, &device);
  DialogScale scale;
  scale.units.average_width =
      AverageCharWidth(metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)));
  scale.units.height = metrics.height();
  // A font given in pixels has no point size: its height stands for it.
  scale.font_ratio = font.pointSizeF() > 0
                         ? font.pointSizeF() / kOriginalDialogPoints
                         : static_cast<double>(metrics.height()) / kOriginalDialogUnits.height;
  return scale;
}

DialogScale DesktopDialogScale(const QWidget& window) {
  return DialogScaleOf(QApplication::font(), window);
}

QGroupBox* NewCaptionedFrame(const QString& caption, QWidget* parent) {
  auto* frame = new QGroupBox(caption, parent);
  frame->setStyle(FrameStyle());
  return frame;
}

// Fusion draws a frame's caption in its text colours, which the controls inside would inherit;
// they get the usual ones back explicitly.
void ColourCaption(QGroupBox& frame, Rgb colour) {
  const QPalette usual = frame.palette();
  QPalette coloured = usual;
  QPalette restored = usual;
  const QColor caption(colour.red, colour.green, colour.blue);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      coloured.setColor(group, role, caption);
      restored.setColor(group, role, usual.color(group, role));
    }
    restored.setColor(QPalette::Disabled, role, usual.color(QPalette::Disabled, role));
  }
  frame.setPalette(coloured);
  for (QWidget* child : frame.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    child->setPalette(restored);
  }
}

void NameTextBoxesByTheirLabels(const PlacedWidgets& widgets) {
  QLabel* pending = nullptr;
  for (const auto& placed : widgets) {
    if (auto* label = qobject_cast<QLabel*>(placed.widget)) {
      pending = label;
    } else if (auto* box = qobject_cast<QLineEdit*>(placed.widget); box != nullptr && pending) {
      pending->setBuddy(box);
      QString name = pending->text();
      if (const auto* frame = qobject_cast<const QGroupBox*>(box->parentWidget());
          frame != nullptr && !frame->title().isEmpty()) {
        name += QStringLiteral(", ") + frame->title();
      }
      box->setAccessibleName(name);
      pending = nullptr;
    }
  }
}

void CentreOnScreen(QWidget& window) {
  const QScreen* where =
      window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (where == nullptr) return;
  QRect frame = window.rect();
  frame.moveCenter(where->availableGeometry().center());
  window.move(frame.topLeft());
}

DriveList::DriveList(std::function<void()> before_popup, QWidget* parent)
    : QComboBox(parent), before_popup_(std::move(before_popup)) {}

void DriveList::AddEntry(const EntryParts& parts, const std::string& location) {
  const QString listed = ToQString(parts.Whole() + std::string(kFigureSeparator) + location);
  addItem(listed, QStringList{ToQString(parts.head), ToQString(parts.label), ToQString(parts.tail),
                              ToQString(parts.detail)});
  setItemData(count() - 1, listed, Qt::ToolTipRole);
}

QString DriveList::ShownText() const {
  const QStringList parts = currentData().toStringList();
  if (parts.size() != 4) return currentText();
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QRect room =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  // The label is drawn a frame's width in from the field's edges.
  const int inset = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  const QFontMetrics metrics = fontMetrics();
  return ToQString(FitEntry({parts[0].toStdString(), parts[1].toStdString(), parts[2].toStdString(),
                             parts[3].toStdString()},
                            room.width() - inset, [&metrics](std::string_view text) {
                              return metrics.horizontalAdvance(ToQString(text));
                            }));
}

void DriveList::showPopup() {
  before_popup_();
  QComboBox::showPopup();
}

void DriveList::FitOpenListToEntries() {
  int widest = 0;
  for (int entry = 0; entry < count(); ++entry) {
    widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(entry)));
  }
  const QStyle& style = *this->style();
  view()->setMinimumWidth(widest + style.pixelMetric(QStyle::PM_ScrollBarExtent) +
                          4 * style.pixelMetric(QStyle::PM_DefaultFrameWidth) +
                          2 * style.pixelMetric(QStyle::PM_FocusFrameHMargin));
}

// The closed box shows the volume's name and size only; where it is, the open list says.
void DriveList::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  option.currentText = ShownText();
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace talvex::ui::qt
