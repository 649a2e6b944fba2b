#include "ui/control_table.h"

#include <gtest/gtest.h>

#include <set>
#include <span>
#include <string>
#include <vector>

#include "options/build_options.h"

namespace talvex::ui {
namespace {

TEST(ControlTableTest, EveryOptionFieldHasOneControlOfItsKind) {
  std::set<std::string_view> shown;
  for (const ControlRow& row : kMainControls) {
    if (row.texts != TextSource::kOptionField) continue;
    const options::OptionField* field = options::FindOptionField(row.name);
    ASSERT_NE(field, nullptr) << row.name;
    switch (field->kind) {
      case options::FieldKind::kCheck:
        EXPECT_EQ(row.kind, ControlKind::kCheckBox) << row.name;
        break;
      case options::FieldKind::kText:
        EXPECT_EQ(row.kind, ControlKind::kTextBox) << row.name;
        break;
      case options::FieldKind::kDrive:
        EXPECT_EQ(row.kind, ControlKind::kDriveList) << row.name;
        break;
    }
    EXPECT_TRUE(shown.insert(row.name).second) << row.name << " twice";
  }
  EXPECT_EQ(shown.size(), options::kOptionFields.size());
}

TEST(ControlTableTest, ContainersAreEarlierFramesAndHoldTheirControls) {
  for (const std::span<const ControlRow> table :
       {std::span<const ControlRow>(kMainControls), std::span<const ControlRow>(kAboutControls)}) {
    std::set<std::string_view> created;
    for (const ControlRow& row : table) {
      if (!row.container.empty()) {
        const ControlRow* container = FindControl(table, row.container);
        ASSERT_NE(container, nullptr) << row.name;
        EXPECT_EQ(container->kind, ControlKind::kFrame) << row.name;
        EXPECT_TRUE(created.contains(row.container)) << row.name << " before its frame";
        EXPECT_LE(row.left + row.width, container->width) << row.name;
        EXPECT_LE(row.top + row.height, container->height) << row.name;
      }
      EXPECT_TRUE(created.insert(row.name).second) << row.name << " twice";
    }
  }
}

TEST(ControlTableTest, MainWindowControlsLieInsideTheClientArea) {
  for (const ControlRow& row : kMainControls) {
    if (!row.container.empty()) continue;
    EXPECT_LE(row.left + row.width, kMainWindow.client_width) << row.name;
    EXPECT_LE(row.top + row.height, kMainWindow.client_height) << row.name;
  }
}

// The window creates its controls in table order and the platform moves the focus in creation
// order, so the controls that take the focus must stand in the table in the order Tab visits them.
TEST(ControlTableTest, CreationOrderIsTheTabOrder) {
  std::vector<std::string_view> focusable;
  for (const ControlRow& row : kMainControls) {
    if (row.kind != ControlKind::kFrame && row.kind != ControlKind::kLabel) {
      focusable.push_back(row.name);
    }
  }
  EXPECT_EQ(focusable, std::vector<std::string_view>(kMainTabOrder.begin(), kMainTabOrder.end()));
}

// Code finds a control by what it is for; the row keeps the original's name for it.
TEST(ControlTableTest, EveryRoleHasOneRowThatKeepsTheOriginalsName) {
  struct Expected {
    ControlRole role;
    std::span<const ControlRow> table;
    std::string_view name;
  };
  const Expected expected[] = {
      {ControlRole::kGo, kMainControls, "CommanEND"},
      {ControlRole::kAbout, kMainControls, "Command1"},
      {ControlRole::kReadme, kMainControls, "CmdReadme"},
      {ControlRole::kNfsSettings, kMainControls, "FrSet"},
      {ControlRole::kSmbSettings, kMainControls, "FrSMB"},
      {ControlRole::kAboutTitle, kAboutControls, "Label4"},
      {ControlRole::kThanks, kAboutControls, "Command1"},
  };
  for (const Expected& row : expected) {
    int found = 0;
    for (const ControlRow& control : row.table) {
      if (control.role != row.role) continue;
      ++found;
      EXPECT_EQ(control.name, row.name);
    }
    EXPECT_EQ(found, 1) << row.name;
    const ControlRow& looked_up =
        row.table.data() == kMainControls.data() ? MainControl(row.role) : AboutControl(row.role);
    EXPECT_EQ(looked_up.name, row.name);
  }
}

TEST(ControlTableTest, TextsComeFromTheOptionFieldsWhereTheRowSaysSo) {
  EXPECT_EQ(CaptionOf(*FindControl(kMainControls, "Chftp")), "FTP");
  EXPECT_EQ(TooltipOf(*FindControl(kMainControls, "Chsmb")).substr(0, 4), " SMB");
  EXPECT_EQ(TooltipOf(*FindControl(kMainControls, "Drive1")),
            "Выбрать диск на который будет собранна сборка");
  EXPECT_EQ(CaptionOf(*FindControl(kMainControls, "CommanEND")), "GO");
  EXPECT_EQ(TooltipOf(*FindControl(kMainControls, "Frame6")), "Сервисы");
  EXPECT_EQ(TooltipOf(*FindControl(kMainControls, "arFix2")), "");
}

TEST(ControlTableTest, FontsAndColoursOfTheSpecialControls) {
  const FontSpec go = FindControl(kMainControls, "CommanEND")->font;
  EXPECT_EQ(go.family, "Arial");
  EXPECT_EQ(go.size_centipoints, 1125);
  EXPECT_TRUE(go.bold);
  int red = 0;
  for (const ControlRow& row : kMainControls) {
    if (row.colour == kRed) {
      ++red;
      EXPECT_TRUE(row.name == "FrSet" || row.name == "FrSMB") << row.name;
    }
    if (row.name != "CommanEND") {
      EXPECT_EQ(row.font, kDialogFont) << row.name;
    }
  }
  EXPECT_EQ(red, 2);
  int links = 0;
  for (const ControlRow& row : kAboutControls) {
    EXPECT_TRUE(row.font.cyrillic || row.kind == ControlKind::kPicture) << row.name;
    if (!row.link.empty()) {
      ++links;
      EXPECT_EQ(row.colour, kBlue) << row.name;
      EXPECT_EQ(row.link.substr(0, 20), "https://example.org/") << row.name;
    }
  }
  EXPECT_EQ(links, 6);
  // The address labels show exactly what they open, the trailing space included.
  EXPECT_EQ(FindControl(kAboutControls, "Label10")->caption,
            FindControl(kAboutControls, "Label10")->link);
  EXPECT_EQ(FindControl(kAboutControls, "Label10")->link.back(), ' ');
}

TEST(TwipsTest, FifteenTwipsPerPixelAt96DpiAndProportionalAbove) {
  EXPECT_EQ(TwipsToPixels(kMainWindow.client_width, 96), 433);
  EXPECT_EQ(TwipsToPixels(kMainWindow.client_height, 96), 329);
  EXPECT_EQ(TwipsToPixels(kAboutWindow.client_width, 96), 254);
  EXPECT_EQ(TwipsToPixels(kAboutWindow.client_height, 96), 360);
  EXPECT_EQ(TwipsToPixels(3795, 96), 253);
  EXPECT_EQ(TwipsToPixels(2595, 96), 173);
  EXPECT_EQ(TwipsToPixels(1440, 144), 144);
  EXPECT_EQ(TwipsToPixels(1118, 96), 75);  // 74.53 rounds up
  EXPECT_EQ(TwipsToPixels(1118, 192), 149);
  EXPECT_EQ(TwipsToPixels(-120, 96), -8);
}

TEST(TwipsTest, ScaledByTheFontsMetricsAgainstTheOriginalDialogFont) {
  struct Case {
    int twips;
    int font_metric;
    int original_metric;
    int pixels;
  };
  for (const Case& c : {
           Case{6495, 6, 6, 433},    // the original's font: 15 twips a pixel
           Case{4935, 13, 13, 329},  // likewise vertically
           Case{6495, 7, 6, 505},    // 505.17: a wider font widens the window
           Case{4935, 15, 13, 380},  // 379.62 rounds up
           Case{195, 15, 13, 15},    // a check box's one line stays one line of the font
           Case{1118, 12, 6, 149},   // twice the width: as twice the DPI
           Case{-120, 7, 6, -9},     // -9.33, rounded away from the middle like positive ones
           Case{240, 0, 13, 0}, Case{240, 13, 0, 0},  // no original: nothing to scale by
       }) {
    EXPECT_EQ(TwipsToFontPixels(c.twips, c.font_metric, c.original_metric), c.pixels)
        << c.twips << " twips, " << c.font_metric << "/" << c.original_metric;
  }
  EXPECT_EQ(kOriginalDialogUnits, (FontUnits{6, 13}));
  // The alphabet's advance over 52 letters, halves rounded up.
  EXPECT_EQ(AverageCharWidth(312), 6);
  EXPECT_EQ(AverageCharWidth(364), 7);
  EXPECT_EQ(AverageCharWidth(390), 8);  // 7.5
  EXPECT_EQ(AverageCharWidth(388), 7);  // 7.46
}

TEST(TwipsTest, FontSizesInPixels) {
  EXPECT_EQ(FontPixels(800, 96), 11);   // 10.67
  EXPECT_EQ(FontPixels(1125, 96), 15);  // 11.25 pt bold Arial
  EXPECT_EQ(FontPixels(1200, 96), 16);
  EXPECT_EQ(FontPixels(975, 96), 13);
  EXPECT_EQ(FontPixels(1200, 144), 24);
}

}  // namespace
}  // namespace talvex::ui
