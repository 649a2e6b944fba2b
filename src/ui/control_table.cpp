#include "ui/control_table.h"

#include "options/build_options.h"
#include "ui/about_content.h"
#include "ui/window_texts.h"

namespace talvex::ui {

namespace {
using O = options::BuildOptions;
constexpr ControlKind kFrame = ControlKind::kFrame;
constexpr ControlKind kCheck = ControlKind::kCheckBox;
constexpr ControlKind kText = ControlKind::kTextBox;
constexpr ControlKind kLabel = ControlKind::kLabel;
constexpr ControlKind kButton = ControlKind::kButton;
constexpr ControlKind kDrive = ControlKind::kDriveList;
constexpr ControlKind kPicture = ControlKind::kPicture;

constexpr FontSpec kGoFont{"Arial", 1125, true, false};
// The About window's fonts: the dialog family at its own sizes, Cyrillic throughout.
constexpr FontSpec kAboutTitleFont{kDialogFamily, 1200, true, true};
constexpr FontSpec kAboutHeadingFont{kDialogFamily, 975, true, true};
constexpr FontSpec kAboutAddressFont{kDialogFamily, 975, false, true};
constexpr FontSpec kAboutButtonFont{kDialogFamily, 825, true, true};

constexpr ControlRow Placed(std::string_view name, ControlKind kind, std::string_view container,
                            int left, int top, int width, int height) {
  ControlRow row{};
  row.name = name;
  row.kind = kind;
  row.container = container;
  row.left = left;
  row.top = top;
  row.width = width;
  row.height = height;
  return row;
}

constexpr ControlKind KindShowing(const options::OptionField& field) {
  if (field.kind == options::FieldKind::kCheck) return kCheck;
  return field.kind == options::FieldKind::kDrive ? kDrive : kText;
}

// A control that shows an option field: it is named after the field, and its kind, caption and
// tooltip are the field's.
ControlRow OptionRow(const options::OptionField& field, std::string_view container, int left,
                     int top, int width, int height) {
  ControlRow row = Placed(field.name, KindShowing(field), container, left, top, width, height);
  row.texts = TextSource::kOptionField;
  return row;
}

template <typename Member>
ControlRow Option(Member options::BuildOptions::*member, std::string_view container, int left,
                  int top, int width, int height) {
  return OptionRow(options::FieldOf(member), container, left, top, width, height);
}

constexpr ControlRow Own(std::string_view name, ControlKind kind, std::string_view container,
                         int left, int top, int width, int height, std::string_view caption,
                         std::string_view tooltip) {
  ControlRow row = Placed(name, kind, container, left, top, width, height);
  row.texts = TextSource::kRow;
  row.caption = caption;
  row.tooltip = tooltip;
  return row;
}

constexpr ControlRow RedFrame(std::string_view name, ControlRole role, std::string_view container,
                              int left, int top, int width, int height, std::string_view caption,
                              std::string_view tooltip) {
  ControlRow row = Own(name, kFrame, container, left, top, width, height, caption, tooltip);
  row.colour = kRed;
  row.role = role;
  return row;
}

constexpr ControlRow WithRole(ControlRow row, ControlRole role) {
  row.role = role;
  return row;
}

const ControlRow& RowWith(std::span<const ControlRow> table, ControlRole role) {
  const ControlRow* row = FindControl(table, role);
  return row != nullptr ? *row : table.front();  // unreachable: every role is in a table (tested)
}

constexpr ControlRow AboutLabel(std::string_view name, int left, int top, int width, int height,
                                std::string_view text, FontSpec font, Rgb colour,
                                std::string_view link = {}) {
  ControlRow row = Own(name, kLabel, {}, left, top, width, height, text, {});
  row.font = font;
  row.colour = colour;
  row.link = link;
  return row;
}
}  // namespace

const WindowSpec kMainWindow{"Talvex - Auto", 6495, 4935};

namespace {
// In the order the window creates them, which is also the order Tab moves through them.
const auto kMainRows = [] {
  ControlRow go = Own("CommanEND", kButton, {}, 5160, 4320, 1215, 495, "GO", "Собрать");
  go.font = kGoFont;
  go.role = ControlRole::kGo;
  return std::to_array<ControlRow>({
      Own("Frame2", kFrame, {}, 120, 120, 1215, 735, "Flash Disk", "Флешка"),
      Option(&O::Drive1, "Frame2", 120, 240, 975, 315),
      Own("Frame4", kFrame, {}, 1440, 120, 2415, 735, {}, {}),
      Option(&O::Chcopi, "Frame4", 120, 120, 2055, 255),
      Option(&O::Chavto, "Frame4", 120, 360, 2235, 255),
      Own("Frame5", kFrame, {}, 3960, 120, 2415, 735, {}, {}),
      Option(&O::ChRey, "Frame5", 120, 120, 1815, 255),
      Option(&O::Chwifi, "Frame5", 120, 360, 735, 255),
      Own("Frame6", kFrame, {}, 120, 960, 1215, 1335, "Services", "Сервисы"),
      Option(&O::Chftp, "Frame6", 120, 240, 735, 255),
      Option(&O::Chssh, "Frame6", 120, 480, 735, 255),
      Option(&O::Chtelnet, "Frame6", 120, 720, 855, 255),
      Option(&O::Chupnp, "Frame6", 120, 960, 735, 255),
      Own("Frame7", kFrame, {}, 120, 2280, 1215, 1935, "Applications", {}),
      Option(&O::mc, "Frame7", 120, 240, 735, 195),
      Option(&O::NetSurf, "Frame7", 120, 480, 975, 195),
      Option(&O::pvr, "Frame7", 120, 720, 735, 195),
      Option(&O::ChInfo, "Frame7", 120, 960, 855, 195),
      Option(&O::Switch, "Frame7", 120, 1200, 855, 195),
      Option(&O::arFix2, "Frame7", 120, 1440, 1095, 195),
      Option(&O::arFix2cip, "Frame7", 120, 1650, 975, 255),
      Own("Frame1", kFrame, {}, 1440, 960, 4935, 3255, {}, {}),
      Option(&O::Chsmb, "Frame1", 120, 240, 735, 195),
      RedFrame("FrSMB", ControlRole::kSmbSettings, "Frame1", 120, 480, 2295, 2655,
               "Network settings SMB",
               "Сетевые настройки Samba Сетевые настройки SMB она же CIFS, используется в "
               "Windows системах"),
      Own("Label10", kLabel, "FrSMB", 120, 240, 1335, 255, "IP-address", "IP-адрес"),
      Option(&O::TexSMBip, "FrSMB", 120, 480, 2055, 285),
      Own("Label11", kLabel, "FrSMB", 120, 840, 1455, 255, "Folder name", "Имя шары"),
      Option(&O::TexSMBsh, "FrSMB", 120, 1080, 2055, 285),
      Own("Label8", kLabel, "FrSMB", 120, 1440, 1455, 255, "Login", "Логин"),
      Option(&O::TexSMBlog, "FrSMB", 120, 1680, 2055, 285),
      Own("Label9", kLabel, "FrSMB", 120, 2040, 1695, 255, "Password", "Пароль"),
      Option(&O::TexSMBpas, "FrSMB", 120, 2280, 2055, 285),
      Option(&O::ChNfs, "Frame1", 2520, 240, 735, 195),
      RedFrame("FrSet", ControlRole::kNfsSettings, "Frame1", 2520, 480, 2295, 2655,
               "Network setting NFS",
               "Сетевые настройки NFS Сетевые настройки NFS, используется в UNIX системах"),
      Own("Label6", kLabel, "FrSet", 120, 240, 1455, 255, "IP-address", "IP-адрес"),
      Option(&O::TextIP, "FrSet", 120, 480, 2055, 285),
      Option(&O::CheckUDP, "FrSet", 120, 960, 735, 195),
      WithRole(Own("Command1", kButton, {}, 120, 4320, 1215, 495, "About", "О программе"),
               ControlRole::kAbout),
      WithRole(Own("CmdReadme", kButton, {}, 2640, 4320, 1215, 495, "Description", "Описание"),
               ControlRole::kReadme),
      go,
  });
}();
}  // namespace

const std::span<const ControlRow> kMainControls = kMainRows;

const std::vector<std::string_view> kMainTabOrder = [] {
  std::vector<std::string_view> order;
  for (const ControlRow& row : kMainControls) {
    if (TakesFocus(row.kind)) order.push_back(row.name);
  }
  return order;
}();

const WindowSpec kAboutWindow{"О программе", 3810, 5400};

namespace {
// The lines under the picture keep the title's margin on both sides.
constexpr int kAboutMargin = 120;

const auto kAboutRows = [] {
  const int line_width = kAboutWindow.client_width - 2 * kAboutMargin;
  // A picture's caption is not drawn: it is the name a screen reader gives it.
  ControlRow picture = Own("Image1", kPicture, {}, 0, 720, 3795, 2595, kPictureName, {});
  ControlRow thanks = Own("Command1", kButton, {}, 1118, 4800, 1575, 495, "Спасибо!", {});
  thanks.font = kAboutButtonFont;
  thanks.role = ControlRole::kThanks;
  return std::to_array<ControlRow>({
      WithRole(AboutLabel("Label4", 120, 120, 3615, 615,
                          "Автоматическая настройка      Talvex All Extensions.", kAboutTitleFont,
                          kBlue),
               ControlRole::kAboutTitle),
      picture,
      AboutLabel("Label5", kAboutMargin, 3360, 1935, 255, "Разработчики:", kAboutHeadingFont,
                 kBlack),
      AboutLabel("Label6", 120, 3600, 1335, 255, about::kMaker.name, kAboutTitleFont, kBlue,
                 about::kMaker.page),
      AboutLabel("Label7", 1560, 3600, 735, 255, about::kContributor.name, kAboutTitleFont, kBlue,
                 about::kContributor.page),
      AboutLabel("Label11", 2280, 3600, 735, 255, about::kForumMember.name, kAboutTitleFont, kBlue,
                 about::kForumMember.page),
      AboutLabel("Label1", 3120, 3600, 615, 255, about::kSecondForumMember.name, kAboutTitleFont,
                 kBlue, about::kSecondForumMember.page),
      AboutLabel("Label8", kAboutMargin, 3960, 2175, 255, "Полезные ссылки:", kAboutHeadingFont,
                 kBlack),
      AboutLabel("Label9", kAboutMargin, 4200, line_width, 255, about::kForumTopic,
                 kAboutAddressFont, kBlue, about::kForumTopic),
      AboutLabel("Label10", kAboutMargin, 4440, line_width, 255, about::kProjectPage,
                 kAboutAddressFont, kBlue, about::kProjectPage),
      thanks,
  });
}();
}  // namespace

const std::span<const ControlRow> kAboutControls = kAboutRows;

const ControlRow* FindControl(std::span<const ControlRow> table, std::string_view name) {
  for (const ControlRow& row : table) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

const ControlRow* FindControl(std::span<const ControlRow> table, ControlRole role) {
  for (const ControlRow& row : table) {
    if (row.role == role) return &row;
  }
  return nullptr;
}

const ControlRow& MainControl(ControlRole role) {
  return RowWith(kMainControls, role);
}

const ControlRow& AboutControl(ControlRole role) {
  return RowWith(kAboutControls, role);
}

std::string_view CaptionOf(const ControlRow& row) {
  if (row.texts == TextSource::kRow) return row.caption;
  const options::OptionField* field = options::FindOptionField(row.name);
  return field != nullptr ? field->caption : std::string_view{};
}

std::string_view TooltipOf(const ControlRow& row) {
  if (row.texts == TextSource::kRow) return row.tooltip;
  const options::OptionField* field = options::FindOptionField(row.name);
  return field != nullptr ? field->tooltip : std::string_view{};
}

}  // namespace talvex::ui
