#include "ui/main_window_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "ui/control_table.h"
#include "ui/window_texts.h"

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

TEST(MainWindowModelTest, TheDriveListShowsThePickedDriveOrNoneAndBeforeAnyPickAStick) {
  const platform::FileId c_id{1, 5}, e_id{2, 5}, f_id{3, 5}, other_id{4, 5};
  auto entry = [](const char* text, bool removable, bool holds_kit,
                  std::optional<platform::FileId> identity = {}) {
    return DriveListEntry{text, std::string(text).substr(0, 2), removable, holds_kit, identity};
  };
  const DriveListEntry a = entry("a:", true, false);
  const DriveListEntry c = entry("c: [SYSTEM]", false, false, c_id);
  const DriveListEntry c_kit = entry("c: [SYSTEM]", false, true);
  const DriveListEntry e = entry("e: [FLASH]", true, false, e_id);
  const DriveListEntry e_swapped = entry("e: [FLASH]", true, false, other_id);
  const DriveListEntry e_kit = entry("e: [KIT]", true, true);
  const DriveListEntry f = entry("f: [TV]", true, false, f_id);
  const DriveListEntry z = entry("z: [\\\\server\\films]", false, false);
  struct Case {
    const char* what;
    std::vector<DriveListEntry> entries;
    std::optional<DrivePick> picked;  // nothing: no drive picked yet
    char current;
    std::optional<std::size_t> chosen;
  };
  const Case cases[] = {
      {"the first removable drive", {c, e, f}, {}, 'c', 1},
      {"the first of several removable drives", {a, c, e}, {}, 'c', 0},
      {"never the stick that holds the kit", {c_kit, e_kit, f}, {}, 'e', 2},
      {"the kit's stick alone: the current drive", {c, e_kit, z}, {}, 'z', 2},
      {"no removable drive: the current drive", {c, z}, {}, 'z', 1},
      {"no removable drive, no current drive: the first", {c, z}, {}, 0, 0},
      {"the current drive is not listed: the first", {c_kit, z}, {}, 'q', 0},
      {"an empty list shows nothing", {}, {}, 'c', std::nullopt},
      {"a refresh keeps the picked drive", {c, e, f}, DrivePick{"f:", f_id}, 'c', 2},
      {"even one that is no stick", {c, e, f}, DrivePick{"c:", c_id}, 'c', 0},
      {"the picked drive went away: none, not another stick",
       {c, f},
       DrivePick{"e:", e_id},
       'c',
       std::nullopt},
      {"another volume under its letter: none",
       {c, e_swapped, f},
       DrivePick{"e:", e_id},
       'c',
       std::nullopt},
      {"picked while it could not be read: none",
       {c, e, f},
       DrivePick{"e:", {}},
       'c',
       std::nullopt},
      {"none picked since: none", {c, e, f}, DrivePick{}, 'c', std::nullopt},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(test.picked ? ChosenDriveEntry(test.entries, *test.picked)
                          : PreselectedDriveEntry(test.entries, test.current),
              test.chosen)
        << test.what;
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
  EXPECT_EQ(NotRemovableDriveQuestion("k:"),
            "Диск \"k:\" не съёмный: это не флешка. Сборка заменит на нём папку \"Talvex\" и "
            "папки отмеченных приложений. Всё равно собрать сборку на этом диске?");
  EXPECT_EQ(SystemDriveQuestion("c:"),
            "На диске \"c:\" установлена Windows. " + NotRemovableDriveQuestion("c:"));
  EXPECT_EQ(DriveChangedMessage("/media/user/TV"),
            "Диск \"/media/user/TV\" отключён, заменён другим или стал доступен только для "
            "чтения с тех пор, как его выбрали. Список дисков обновлён; выберите флешку ещё раз.");
}

// Plain concatenation in the system's separators: no quotes, spaces kept.
TEST(MainWindowModelTest, TheReadmeIsInTheKitsTalvexFolder) {
  const std::string separator(1, platform::kPathSeparator);
  EXPECT_EQ(ReadmePath("d:\\My Kit"),
            "d:\\My Kit" + separator + "Talvex" + separator + "readme.txt");
}

}  // namespace
}  // namespace talvex::ui
