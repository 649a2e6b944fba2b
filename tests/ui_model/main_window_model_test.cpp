#include "ui/main_window_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/control_table.h"

namespace talvex::ui {
namespace {

using options::CheckState;
constexpr CheckState kOff = CheckState::kUnchecked;
constexpr CheckState kOn = CheckState::kChecked;

// A click on a check box: it toggles, then the model hears of it.
void Toggle(MainWindowModel& model, std::string_view name) {
  model.CheckChanged(name, *model.CheckOf(name) == kOn ? kOff : kOn);
}

TEST(MainWindowModelTest, StartStateShowsTheInitialRecord) {
  const MainWindowModel model("c: [SYSTEM]");
  EXPECT_EQ(model.TextOf("Drive1"), "c: [SYSTEM]");
  EXPECT_EQ(model.CheckOf("Chupnp"), kOn);
  EXPECT_EQ(model.CheckOf("Chavto"), kOff);
  EXPECT_EQ(model.TextOf("TexSMBlog"), "admin");
  EXPECT_EQ(model.CheckOf("TextIP"), std::nullopt);
  EXPECT_EQ(model.TextOf("Chupnp"), std::nullopt);
  for (const ControlRow& row : kMainControls) {
    EXPECT_EQ(model.IsEnabled(row.name), row.name != "Chavto") << row.name;
  }
}

TEST(MainWindowModelTest, UncheckingSmbDisablesTheWholeFrameAndKeepsItsTexts) {
  MainWindowModel model;
  model.TextChanged("TexSMBsh", "films");
  Toggle(model, "Chsmb");
  for (std::string_view name : {"FrSMB", "Label10", "TexSMBip", "Label11", "TexSMBsh", "Label8",
                                "TexSMBlog", "Label9", "TexSMBpas"}) {
    EXPECT_FALSE(model.IsEnabled(name)) << name;
  }
  EXPECT_TRUE(model.IsEnabled("Chsmb"));
  EXPECT_TRUE(model.IsEnabled("TextIP"));
  EXPECT_EQ(model.Clicked("TexSMBpas"), Action::kNothing);
  Toggle(model, "Chsmb");
  EXPECT_TRUE(model.IsEnabled("TexSMBsh"));
  EXPECT_EQ(model.TextOf("TexSMBsh"), "films");
  EXPECT_EQ(model.TextOf("TexSMBpas"), "vortelin");
}

TEST(MainWindowModelTest, NfsBoxControlsItsFrame) {
  MainWindowModel model;
  Toggle(model, "ChNfs");
  EXPECT_FALSE(model.IsEnabled("TextIP"));
  EXPECT_FALSE(model.IsEnabled("CheckUDP"));
  EXPECT_FALSE(model.IsEnabled("Label6"));
  EXPECT_TRUE(model.IsEnabled("TexSMBip"));
  Toggle(model, "ChNfs");
  EXPECT_TRUE(model.IsEnabled("CheckUDP"));
}

TEST(MainWindowModelTest, ClicksAskForTheirActions) {
  MainWindowModel model;
  EXPECT_EQ(model.Clicked("TexSMBsh"), Action::kSwitchKeyboardLayout);
  EXPECT_EQ(model.Clicked("TexSMBlog"), Action::kSwitchKeyboardLayout);
  EXPECT_EQ(model.Clicked("TexSMBpas"), Action::kSwitchKeyboardLayout);
  EXPECT_EQ(model.Clicked("TexSMBip"), Action::kNothing);
  EXPECT_EQ(model.Clicked("TextIP"), Action::kNothing);
  EXPECT_EQ(model.Clicked("CmdReadme"), Action::kOpenReadme);
  EXPECT_EQ(model.Clicked("Command1"), Action::kOpenAbout);
  EXPECT_EQ(model.phase(), Phase::kIdle);
  EXPECT_EQ(model.Clicked("CommanEND"), Action::kRunBuild);
  EXPECT_EQ(model.phase(), Phase::kBuilding);
}

TEST(MainWindowModelTest, ASecondBuildNeverStartsInsideTheFirst) {
  MainWindowModel model;
  ASSERT_EQ(model.Clicked("CommanEND"), Action::kRunBuild);
  for (const ControlRow& row : kMainControls) EXPECT_FALSE(model.IsEnabled(row.name)) << row.name;
  EXPECT_EQ(model.Clicked("CommanEND"), Action::kNothing);

  model.MeasurementStarted();
  EXPECT_EQ(model.phase(), Phase::kMeasuring);
  EXPECT_EQ(model.Clicked("CommanEND"), Action::kNothing);
  EXPECT_EQ(model.Clicked("Command1"), Action::kNothing);
  // The options take input again while the tree is measured.
  EXPECT_TRUE(model.IsEnabled("pvr"));
  EXPECT_TRUE(model.IsEnabled("TexSMBsh"));
  EXPECT_EQ(model.Clicked("CmdReadme"), Action::kOpenReadme);
  Toggle(model, "pvr");
  EXPECT_EQ(model.CheckOf("pvr"), kOn);

  model.BuildEnded();
  EXPECT_EQ(model.phase(), Phase::kIdle);
  EXPECT_EQ(model.Clicked("CommanEND"), Action::kRunBuild);
}

TEST(MainWindowModelTest, MeasurementOutsideABuildChangesNothing) {
  MainWindowModel model;
  model.MeasurementStarted();
  EXPECT_EQ(model.phase(), Phase::kIdle);
}

TEST(MainWindowModelTest, TheDriveListStartsOnTheCurrentDriveElseTheFirst) {
  const std::vector<std::string> entries = {"a:", "c: [SYSTEM]", "e: [FLASH]"};
  EXPECT_EQ(StartingDriveEntry(entries, 'e'), 2u);
  EXPECT_EQ(StartingDriveEntry(entries, 'c'), 1u);
  EXPECT_EQ(StartingDriveEntry(entries, 'z'), 0u);
  EXPECT_EQ(StartingDriveEntry(entries, 0), 0u) << "a UNC current folder has no drive";
  EXPECT_EQ(StartingDriveEntry({}, 'c'), std::nullopt);
}

TEST(MainWindowModelTest, CommandLinesAndDriveTexts) {
  EXPECT_EQ(ReadmeCommandLine("C:\\Kit"), "notepad.exe C:\\Kit\\Talvex\\readme.txt");
  EXPECT_EQ(ReadmeCommandLine("d:\\My Kit"), "notepad.exe d:\\My Kit\\Talvex\\readme.txt");
  EXPECT_EQ(DriveEntryText('E', "", ""), "e:");
  EXPECT_EQ(DriveEntryText('c', "SYSTEM", ""), "c: [SYSTEM]");
  EXPECT_EQ(DriveEntryText('X', "DATA", "\\\\server\\share"), "x: [\\\\server\\share]");
}

}  // namespace
}  // namespace talvex::ui
