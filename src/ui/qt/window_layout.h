// How the Qt windows lay out their table rows: twips scaled by the desktop font's own metrics,
// frames with their captions in their borders, the drive box that cuts long entries in the middle,
// and the small placing helpers both windows share.
#pragma once

#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QRect>
#include <QWidget>

#include <functional>
#include <string>

#include "ui/control_table.h"
#include "ui/drive_entry.h"

namespace talvex::ui::qt {

// The desktop's dialog font against the original's: the layout in twips is scaled by the font's
// average character width and height (as Windows scales dialog units), and the sizes of the
// rows' own fonts by the font's size over the original's 8 pt.
struct DialogScale {
  FontUnits units = kOriginalDialogUnits;
  double font_ratio = 1.0;

  int X(int twips) const {
    return TwipsToFontPixels(twips, units.average_width, kOriginalDialogUnits.average_width);
  }
  int Y(int twips) const {
    return TwipsToFontPixels(twips, units.height, kOriginalDialogUnits.height);
  }
  QRect Rect(int left, int top, int width, int height) const {
    return {X(left), Y(top), X(width), Y(height)};
  }
};

// The scale for `font` as `device` (the window) draws it.
DialogScale DialogScaleOf(const QFont& font, const QWidget& device);

// The scale of the desktop's font (the application's) in `window`.
DialogScale DesktopDialogScale(const QWidget& window);

// A frame whose caption stands in its top border, as dialog frames do: the border runs at the
// middle of the caption's line, and the controls inside start below that line.
QGroupBox* NewCaptionedFrame(const QString& caption, QWidget* parent);

// The frame's caption in its own colour; the controls inside keep the usual ones.
void ColourCaption(QGroupBox& frame, Rgb colour);

// Each label followed by a text box names it: its buddy, and the box's accessible name with the
// caption of the frame it stands in ("IP-address, Network settings SMB"), so that fields of the
// same caption in two frames sound apart.
class PlacedWidgets;
void NameTextBoxesByTheirLabels(const PlacedWidgets& widgets);

// Centres `window` on the screen it is on.
void CentreOnScreen(QWidget& window);

// The drive list: it reads the volumes again whenever it opens, shows the volume's name and size
// in the closed box (the name cut at its end when the box is too narrow), adds where the volume
// is in the open list and the tooltip, and opens as wide as its longest entry.
class DriveList final : public QComboBox {
 public:
  DriveList(std::function<void()> before_popup, QWidget* parent);
  // A volume: `parts` as the closed box shows it, `location` (VolumeLocation) after it in the
  // open list and the tooltip.
  void AddEntry(const EntryParts& parts, const std::string& location);
  // The current entry as the closed box shows it now.
  QString ShownText() const;
  void showPopup() override;
  // After the entries changed: the open list as wide as the widest one.
  void FitOpenListToEntries();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void()> before_popup_;
};

}  // namespace talvex::ui::qt
