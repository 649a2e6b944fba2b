// FrmMain on Linux: the program's window in Qt Widgets. It creates its controls from the layout
// table, mirrors the window model into them after every event, and carries out the action each
// event asks for.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/volumes.h"
#include "ui/build_runner.h"
#include "ui/main_window_model.h"
#include "ui/qt/about_window.h"
#include "ui/qt/progress_window.h"
#include "ui/qt/qt_ui.h"

class QSocketNotifier;

namespace talvex::ui::qt {

using platform::posix::MountEntry;
using platform::posix::ParseMountInfo;
using platform::posix::RemovableVolume;

// What the window needs from outside. The program uses DefaultServices(); tests point the
// volume list at fake trees and the file system at their own.
struct Services {
  platform::FileSystem* file_system = nullptr;
  std::string source_root;        // the kit folder
  std::string decimal_separator;  // the user's locale's, for the report, sizes and figures
  // The volumes offered as drives: flash drives, by the platform's listing. An entry without a
  // device is a folder standing for a drive's root (the command line's --target), which the
  // platform is asked about like any other place.
  std::function<std::vector<RemovableVolume>()> list_volumes;
  // The mount table whose changes refresh the drive list ("/proc/self/mountinfo"); the kernel
  // marks an open copy of it exceptional after every mount and unmount. Empty: not watched.
  std::string mount_table;
};

Services DefaultServices(std::string source_root);

class MainWindow final : public QWidget, private WindowActions {
  Q_OBJECT

 public:
  explicit MainWindow(Services services);
  ~MainWindow() override;

  const MainWindowModel& model() const { return model_; }
  const PlacedWidgets& widgets() const { return widgets_; }
  // The dialog font's scale that lets every caption fit (1: the desktop font's own size).
  double dialog_scale() const { return dialog_scale_; }
  // The open About window, if any.
  AboutWindow* about() const { return about_; }
  // The progress window of the build that runs, if one does.
  ProgressWindow* progress() const { return progress_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CreateControls();
  QWidget* CreateControl(const ControlRow& row, QWidget* parent);
  void FillDriveList();
  void SetTabOrder();
  void MirrorModel();

  void WatchMountTable();
  // The user picked the entry `index`: the drive is remembered as it is now.
  void PickDrive(int index);
  // Whether the picked drive is still the one picked: mounted where it was from the same device
  // and listed, with the same root folder.
  bool StillAsPicked(const DrivePick& pick);
  // GO's question before building onto a drive that is not removable; true for Yes.
  bool AgreedToNotRemovable(const std::string& root);
  // Asks `question`, No the default; whether the user said Yes.
  bool AgreedTo(const std::string& question);

  QWidget* DriveListWidget() const;

  void OpenReadme() override;
  void OpenAbout() override;
  void RunBuild() override;
  void ShowProgress();
  void StopBuild();
  // Every way of closing during a build ends here: the question, and on Yes the stop.
  void AskToStopAndClose();
  void BuildEnded();

  Services services_;
  MainWindowModel model_;
  PlacedWidgets widgets_;
  // A drive list entry as it was read, with whether the platform found it removable.
  struct ListedVolume {
    RemovableVolume volume;
    std::string text;  // as the closed box shows it whole
    bool removable = false;
  };
  std::vector<ListedVolume> listed_;
  int mount_table_fd_ = -1;
  QSocketNotifier* mount_table_watch_ = nullptr;
  bool refresh_after_build_ = false;
  double dialog_scale_ = 1.0;
  QPointer<AboutWindow> about_;
  QObject* enter_clicks_ = nullptr;  // the filter that lets Enter click a focused button

  std::unique_ptr<BuildRunner> build_;
  QPointer<ProgressWindow> progress_;
  QPointer<QWidget> focus_before_build_;
  bool asking_to_close_ = false;
  bool ended_while_asking_ = false;
  bool close_after_build_ = false;
};

}  // namespace talvex::ui::qt
