// What both Qt windows share: widgets made from the rows of a control table, placed in twips at
// the window's logical DPI, and the dialog font fitted so that every caption fits its control.
#pragma once

#include <QFont>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_table.h"

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

  // Puts every widget at its row's place and size at `dpi`.
  void Place(int dpi) const;

 private:
  std::vector<Placed> placed_;
};

// The window's logical DPI, which twips and point sizes are scaled by.
int LogicalDpiOf(const QWidget& window);

// The family of the platform's default dialog font: the application's font, which the desktop
// sets.
QString DialogFamily();

// The font of a row, with sizes of the dialog family scaled by `dialog_scale`.
QFont FontOf(const FontSpec& face, double dialog_scale);

// Gives every widget its row's font at the largest dialog scale, in steps of a quarter point of
// the 8 pt dialog font and never above 1, at which every caption fits its control. Returns the
// scale chosen.
double FitDialogFonts(const PlacedWidgets& widgets);

// The names of the controls whose caption does not fit: wider than the room the widget's style
// gives it, or taller than the widget.
std::vector<std::string> CaptionsThatDoNotFit(const PlacedWidgets& widgets);

// Fixed size, a close box and no minimize or maximize buttons.
void MakeFixedDialogFrame(QWidget& window, const WindowSpec& layout, Qt::WindowType type,
                          const char* object_name);

// Hands `url` to the desktop's default application. Where none takes it, a message over `parent`
// says so and shows `shown` (the path or address) as text the user can select and copy.
void OpenOrSay(QWidget* parent, const QUrl& url, const QString& shown);

// The message that says no application took `shown`.
inline constexpr std::string_view kNothingOpens =
    "Не удалось открыть: на компьютере не задана программа, которая открывает такие файлы или "
    "адреса. Откройте его сами:";

}  // namespace talvex::ui::qt
