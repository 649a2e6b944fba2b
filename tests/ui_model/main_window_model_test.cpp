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

// Records which of its actions was carried out.
class RecordingActions final : public WindowActions {
 public:
  void SwitchKeyboardLayout() override { done.push_back(Action::kSwitchKeyboardLayout); }
  void OpenReadme() override { done.push_back(Action::kOpenReadme); }
  void OpenAbout() override { done.push_back(Action::kOpenAbout); }
  void RunBuild() override { done.push_back(Action::kRunBuild); }
  std::vector<Action> done;
};

TEST(MainWindowModelTest, EachActionIsCarriedOutByItsOwnHandlerAndNothingByNone) {
  for (Action action : {Action::kSwitchKeyboardLayout, Action::kOpenReadme, Action::kOpenAbout,
                        Action::kRunBuild}) {
    RecordingActions actions;
    Carry(action, actions);
    EXPECT_EQ(actions.done, std::vector<Action>{action});
  }
  RecordingActions actions;
  Carry(Action::kNothing, actions);
  EXPECT_TRUE(actions.done.empty());
}

TEST(MainWindowModelTest, ABuildLocksEverythingUntilItEndsAndDropsTheInputMadeMeanwhile) {
  MainWindowModel model;
  ASSERT_EQ(model.Clicked("CommanEND"), Action::kRunBuild);
  for (const ControlRow& row : kMainControls) EXPECT_FALSE(model.IsEnabled(row.name)) << row.name;
  EXPECT_EQ(model.Clicked("CommanEND"), Action::kNothing);
  EXPECT_EQ(model.Clicked("Command1"), Action::kNothing);
  EXPECT_EQ(model.Clicked("CmdReadme"), Action::kNothing);
  const options::BuildOptions before = model.options();
  Toggle(model, "pvr");
  model.TextChanged("TexSMBsh", "films");
  EXPECT_EQ(model.CheckOf("pvr"), before.pvr);
  EXPECT_EQ(model.options().TexSMBsh, before.TexSMBsh);

  model.BuildEnded();
  EXPECT_EQ(model.phase(), Phase::kIdle);
  Toggle(model, "pvr");
  EXPECT_EQ(model.CheckOf("pvr"), kOn);
  EXPECT_EQ(model.Clicked("CommanEND"), Action::kRunBuild);
}

TEST(MainWindowModelTest, TheDriveListShowsTheKeptDriveElseAStickWithoutTheKitElseTheCurrent) {
  const DriveListEntry a{"a:", true, false};
  const DriveListEntry c{"c: [SYSTEM]", false, false};
  const DriveListEntry c_kit{"c: [SYSTEM]", false, true};
  const DriveListEntry e{"e: [FLASH]", true, false};
  const DriveListEntry e_kit{"e: [KIT]", true, true};
  const DriveListEntry f{"f: [TV]", true, false};
  const DriveListEntry z{"z: [\\\\server\\films]", false, false};
  struct Case {
    const char* what;
    std::vector<DriveListEntry> entries;
    char kept;
    char current;
    std::optional<std::size_t> chosen;
  };
  const Case cases[] = {
      {"the first removable drive", {c, e, f}, 0, 'c', 1},
      {"the first of several removable drives", {a, c, e}, 0, 'c', 0},
      {"never the stick that holds the kit", {c_kit, e_kit, f}, 0, 'e', 2},
      {"the kit's stick alone: the current drive", {c, e_kit, z}, 0, 'z', 2},
      {"no removable drive: the current drive", {c, z}, 0, 'z', 1},
      {"no removable drive, no current drive: the first", {c, z}, 0, 0, 0},
      {"the current drive is not listed: the first", {c_kit, z}, 0, 'q', 0},
      {"a refresh keeps the drive shown before", {c, e, f}, 'f', 'c', 2},
      {"even one that is no stick", {c, e, f}, 'c', 'c', 0},
      {"a kept drive that went away: as on the first reading", {c, f}, 'e', 'c', 1},
      {"an empty list shows nothing", {}, 'e', 'c', std::nullopt},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(ChosenDriveEntry(test.entries, test.kept, test.current), test.chosen) << test.what;
  }
}

TEST(MainWindowModelTest, DriveLettersOfEntriesAndPaths) {
  EXPECT_EQ(DriveLetterOf("e: [FLASH]"), 'e');
  EXPECT_EQ(DriveLetterOf("C:\\Kit"), 'c');
  EXPECT_EQ(DriveLetterOf("T:"), 't');
  EXPECT_EQ(DriveLetterOf("\\\\server\\kit"), 0);
  EXPECT_EQ(DriveLetterOf("1:"), 0);
  EXPECT_EQ(DriveLetterOf("e"), 0);
  EXPECT_EQ(DriveLetterOf(""), 0);
}

TEST(MainWindowModelTest, DriveMessagesNameTheDrive) {
  EXPECT_EQ(WindowsDriveQuestion('c'),
            "На диске \"c:\" установлена Windows. Это не флешка. Всё равно собрать сборку на "
            "этом диске?");
  EXPECT_EQ(DriveChangedMessage('e'),
            "Диск \"e:\" отключён или заменён другим с тех пор, как список был прочитан. Список "
            "дисков обновлён; выберите флешку ещё раз.");
}

TEST(MainWindowModelTest, CommandLinesAndDriveTexts) {
  // Composed as the Windows window starts it.
  EXPECT_EQ("notepad.exe " + ReadmePath("C:\\Kit"), "notepad.exe C:\\Kit\\Talvex\\readme.txt");
  EXPECT_EQ("notepad.exe " + ReadmePath("d:\\My Kit"),
            "notepad.exe d:\\My Kit\\Talvex\\readme.txt");
  EXPECT_EQ(DriveEntryText('E', "", ""), "e:");
  EXPECT_EQ(DriveEntryText('c', "SYSTEM", ""), "c: [SYSTEM]");
  EXPECT_EQ(DriveEntryText('X', "DATA", "\\\\server\\share"), "x: [\\\\server\\share]");
}

}  // namespace
}  // namespace talvex::ui
