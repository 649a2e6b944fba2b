// What both Qt windows share: widgets made from the rows of a control table, placed in twips
// scaled by the desktop font's metrics, with the rows' fonts scaled alike.
#pragma once

#include <QAccessible>
#include <QFont>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_table.h"
#include "ui/qt/window_layout.h"

namespace talvex::ui::qt {

inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The widgets of one window, by the name of their row.
class PlacedWidgets {
 public:
  void Add(const ControlRow& row, QWidget* widget) { placed_.push_back({&row, widget}); }
  QWidget* Find(std::string_view name) const;
  const ControlRow* RowOf(const QWidget* widget) const;

  struct Placed {
    const ControlRow* row;
    QWidget* widget;
  };
  auto begin() const { return placed_.begin(); }
  auto end() const { return placed_.end(); }

  // Puts every widget at its row's place and size in `scale`, within its frame's inside.
  void Place(const DialogScale& scale) const;

 private:
  std::vector<Placed> placed_;
};

// The window's logical DPI.
int LogicalDpiOf(const QWidget& window);

// The family of the platform's default dialog font: the application's font, which the desktop
// sets.
QString DialogFamily();

// The font of a row, its size scaled by `font_ratio` (the desktop font's size over the original's
// 8 pt), so that the rows' own fonts keep their proportion to the dialog font.
QFont FontOf(const FontSpec& face, double font_ratio);

// Places every widget in `layout` and gives it its row's font at the layout's font ratio times
// the largest dialog scale, in steps of 1/32 and never above 1, at which every caption fits its
// control. A caption a little too long for its control's place (the toolkit's check marks and
// line heights are not Windows') first widens or heightens the control into the free room right
// of or below it. Returns the scale chosen.
double FitDialogFonts(const PlacedWidgets& widgets, const DialogScale& layout);

// Widens or heightens the controls whose caption does not fit, as far as the room free beside
// and below them in their container allows.
void GrowToCaptions(const PlacedWidgets& widgets);

// The names of the controls whose caption does not fit: wider than the room the widget's style
// gives it, or taller than the widget.
std::vector<std::string> CaptionsThatDoNotFit(const PlacedWidgets& widgets);

// Fixed size, a close box and no minimize or maximize buttons. Returns the scale of the
// window's layout, which its size was set in.
DialogScale MakeFixedDialogFrame(QWidget& window, const WindowSpec& layout, Qt::WindowType type,
                                 const char* object_name);

// What a screen reader calls a window or control: a role the toolkit does not give it by its
// class (the main window a frame, the About window a dialog, a clickable label a link).
void SetAccessibleRole(QWidget& widget, QAccessible::Role role);

// Hands `url` to the desktop's default application. Where none takes it, a message over `parent`
// says so and shows `shown` (the path or address) as text the user can select and copy.
void OpenOrSay(QWidget* parent, const QUrl& url, const QString& shown);

}  // namespace talvex::ui::qt
