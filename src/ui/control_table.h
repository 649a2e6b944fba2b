// The layout of the two windows as constant tables: every control with its container, its place
// in twips, its texts and its font. Toolkit-neutral: a front end creates its controls from these
// rows and scales twips to pixels at the window's DPI.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace talvex::ui {

enum class ControlKind { kFrame, kCheckBox, kTextBox, kLabel, kButton, kDriveList, kPicture };

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kBlack{0, 0, 0};

// A font by family, size in hundredths of a point (so 11.25 pt is exact) and weight. `cyrillic`
// asks for the Cyrillic character set where the platform still picks glyphs by it.
struct FontSpec {
  std::string_view family;
  int size_centipoints = 0;
  bool bold = false;
  bool cyrillic = false;
  friend constexpr bool operator==(const FontSpec&, const FontSpec&) = default;
};

// The platform's default dialog font: the logical family that maps to the system's sans serif
// dialog face ("MS Sans Serif" where it exists), 8 pt.
inline constexpr std::string_view kDialogFamily = "MS Shell Dlg";
inline constexpr FontSpec kDialogFont{kDialogFamily, 800, false, false};

// Where a control's caption and tooltip come from: written in its row, or the texts of the
// option field of the same name (build_options.h), so that both tables cannot drift apart.
enum class TextSource { kRow, kOptionField };

// What a control is for, where the program has to find it: the original's control names are data
// the tables keep (Command1 is About in one window and the thank-you button in the other), not
// names to look a control up by.
enum class ControlRole {
  kNone,
  kGo,           // builds
  kAbout,        // opens the About window
  kReadme,       // opens the readme
  kNfsSettings,  // the NFS settings frame, open while NFS is not unticked
  kSmbSettings,  // the SMB settings frame, open while SMB is not unticked
  kAboutTitle,   // the About window's title, two lines high
  kThanks,       // closes the About window
};

struct ControlRow {
  std::string_view name;
  ControlKind kind;
  std::string_view container;  // empty: the window itself
  int left = 0;                // twips, relative to the container's top-left corner
  int top = 0;
  int width = 0;
  int height = 0;
  TextSource texts = TextSource::kRow;
  std::string_view caption;
  std::string_view tooltip;
  FontSpec font = kDialogFont;
  std::optional<Rgb> colour;  // none: the system's text colour
  std::string_view link;      // the address a click opens; empty: a click does nothing
  ControlRole role = ControlRole::kNone;
};

struct WindowSpec {
  std::string_view title;
  int client_width = 0;  // twips
  int client_height = 0;
};

inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel (15 twips per pixel at
// 96 DPI).
constexpr int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + kTwipsPerInch / 2) / kTwipsPerInch
                                      : -((-scaled + kTwipsPerInch / 2) / kTwipsPerInch));
}

// The original's dialog font at 96 DPI: its average character width and its height in pixels.
// A layout in twips was made against these, as Windows dialog units are.
struct FontUnits {
  int average_width = 0;
  int height = 0;
  friend constexpr bool operator==(FontUnits, FontUnits) = default;
};
inline constexpr FontUnits kOriginalDialogUnits{6, 13};
inline constexpr int kTwipsPerPixelAt96Dpi = kTwipsPerInch / 96;

// A font's average character width as Windows measures it: the advance of the 52 letters
// "A".."Z" "a".."z" halved over 26 and rounded.
constexpr int AverageCharWidth(int advance_of_the_alphabet) {
  return (advance_of_the_alphabet / 26 + 1) / 2;
}

// Twips to pixels for a font of `font_metric` pixels (an average width for horizontal lengths, a
// height for vertical ones) where the original's font had `original_metric`: the layout grows
// and shrinks with the font, not with the DPI alone. Rounded to the nearest pixel.
constexpr int TwipsToFontPixels(int twips, int font_metric, int original_metric) {
  const long long scaled = static_cast<long long>(twips) * font_metric;
  const long long per_pixel = static_cast<long long>(original_metric) * kTwipsPerPixelAt96Dpi;
  if (per_pixel <= 0) return 0;
  return static_cast<int>(scaled >= 0 ? (scaled + per_pixel / 2) / per_pixel
                                      : -((-scaled + per_pixel / 2) / per_pixel));
}

// A font size in centipoints to a character height in pixels at `dpi`, rounded.
constexpr int FontPixels(int centipoints, int dpi) {
  return static_cast<int>((static_cast<long long>(centipoints) * dpi + 3600) / 7200);
}

// The tables are as long as their rows: a new application is its option field and its row.
extern const WindowSpec kMainWindow;
extern const std::span<const ControlRow> kMainControls;

// Keyboard focus order of the main window (disabled controls are skipped): the controls that
// take the focus, in table order.
extern const std::vector<std::string_view> kMainTabOrder;

extern const WindowSpec kAboutWindow;
extern const std::span<const ControlRow> kAboutControls;

// The row of that name in `table`, or nullptr.
const ControlRow* FindControl(std::span<const ControlRow> table, std::string_view name);

// The row with that role in `table`, or nullptr.
const ControlRow* FindControl(std::span<const ControlRow> table, ControlRole role);

// The row with that role in each window. Every role but kNone has one row in one of the two.
const ControlRow& MainControl(ControlRole role);
const ControlRow& AboutControl(ControlRole role);

// Whether a control of this kind takes the keyboard focus.
constexpr bool TakesFocus(ControlKind kind) {
  return kind == ControlKind::kCheckBox || kind == ControlKind::kTextBox ||
         kind == ControlKind::kButton || kind == ControlKind::kDriveList;
}

// The caption and tooltip a control shows, resolved through the option field where the row
// says so.
std::string_view CaptionOf(const ControlRow& row);
std::string_view TooltipOf(const ControlRow& row);

}  // namespace talvex::ui
