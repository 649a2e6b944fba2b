// FrmMain: the program's window. It creates its controls from the layout table, mirrors the
// window model into them after every event, and carries out the action each event asks for.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

#include "ui/build_runner.h"
#include "ui/control_table.h"
#include "ui/main_window_model.h"
#include "ui/win32/progress_window.h"
#include "ui/win32/top_level_window.h"
#include "ui/win32/ui_services.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

inline constexpr wchar_t kMainWindowClass[] = L"TalvexFrmMain";

// Posted by the build's thread to the main window: new progress waits in the runner (at most one
// such message is in the queue at a time, however fast the build goes), and the build has ended.
inline constexpr UINT kBuildProgressChanged = WM_APP + 20;
inline constexpr UINT kBuildEnded = WM_APP + 21;

class MainWindow final : public TopLevelWindow, private WindowActions {
 public:
  // Creates and shows the window, with the focus on the drive list. The object lives as long as
  // its window. Returns nullptr when the window cannot be created.
  static MainWindow* Create(UiServices services, int show = SW_SHOWNORMAL);
  static MainWindow* FromHandle(HWND window);

  // The control of that name in the layout table, or nullptr.
  HWND Control(std::string_view name) const { return controls_.Handle(name); }
  const MainWindowModel& model() const { return model_; }

 private:
  explicit MainWindow(UiServices services);

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;
  void PlaceControls() override;
  void OnClose() override;
  std::function<void()> OnDestroy() override;

  static LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR self);
  LRESULT HandleTextBox(const ControlRow& row, HWND box, UINT message, WPARAM wparam,
                        LPARAM lparam);

  void CreateControls();
  HWND CreateControl(const ControlRow& row, HWND parent, int id);
  HWND DriveList() const { return Control(options::FieldOf(&options::BuildOptions::Drive1).name); }
  void FillDriveList(HWND list);
  // Reads the drive list again, or once the build has ended when one is running.
  void RefreshDriveList();
  void ReadDrivesAgain(HWND list);
  // The user picked the entry `text`: the drive is remembered as it is now.
  void PickDrive(std::string text);
  void MirrorModel();

  void OnCommand(HWND control, UINT code);
  // Puts a control the user changed during a build back to what the model says.
  void PutBack(const PlacedControl& placed);
  void PasteFiltered(const ControlRow& row, HWND box);
  void SwitchKeyboardLayout() override;
  void OpenReadme() override;
  void OpenAbout() override;
  void RunBuild() override;
  // Runs this thread's messages, as a modal dialog box does, until the build has ended, and
  // hands its result over.
  build::SessionResult WaitForBuild();
  void ShowProgress();
  // Every way of closing during a build ends here: the question, and on Yes the stop.
  void AskToStopAndClose();
  // What GO checks before a build touches anything; false when the build must not start, the
  // user having been told why or having said no.
  bool ReadyToBuild();
  // Asks `question`, No the default; whether the user said Yes.
  bool AgreedTo(const std::string& question);
  void Warn(const std::string& text);

  UiServices services_;
  MainWindowModel model_;
  PlacedControls controls_;
  FontSet fonts_;
  Tooltips tooltips_;
  HWND focus_ = nullptr;  // kept while the window is inactive
  std::unique_ptr<TaskbarProgress> progress_;
  std::unique_ptr<BuildRunner> runner_;        // while a build runs
  ProgressWindow* progress_window_ = nullptr;  // while a build runs, if it could be made
  bool build_ended_ = false;                   // kBuildEnded has arrived
  bool close_after_build_ = false;             // the user closed the window during the build
  bool asking_to_close_ = false;               // the question to close is open
  bool drive_list_stale_ = false;              // drives came or went while a build ran
  // While the report is shown: every failure, when it names only the first (its Help button).
  std::vector<std::string> report_failures_;
};

// The message loop of the program: runs until the main window has closed.
platform::ExitStatus RunMessageLoop();

}  // namespace talvex::ui::win32
