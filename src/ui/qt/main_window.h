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
#include "ui/build_progress_text.h"
#include "ui/main_window_model.h"
#include "ui/qt/about_window.h"
#include "ui/qt/progress_window.h"
#include "ui/qt/qt_ui.h"
#include "ui/qt/removable_volumes.h"

class QSocketNotifier;

namespace talvex::ui::qt {

class WindowBuild;

// What the window needs from outside. The program uses DefaultServices(); tests point the
// volume list at fake trees and the file system at their own.
struct Services {
  platform::FileSystem* file_system = nullptr;
  std::string source_root;        // the kit folder
  std::string decimal_separator;  // the user's locale's, for the report
  // The volumes offered as drives. An entry without a device is a plain folder standing for a
  // drive's root (the command line's --target).
  std::function<std::vector<RemovableVolume>()> list_volumes;
  // The mount table whose changes refresh the drive list ("/proc/self/mountinfo"); the kernel
  // marks an open copy of it exceptional after every mount and unmount. Empty: not watched.
  std::string mount_table;
};

Services DefaultServices(std::string source_root);

// What GO says when there is no flash drive to build on.
inline constexpr std::string_view kNoFlashDrive =
    "Флешка не найдена: ни один съёмный диск не подключён. Вставьте флешку, выберите её в "
    "списке \"Flash Disk\" и нажмите GO ещё раз.";

// What GO says when the drive picked in the list is no longer the one listed.
std::string DriveChangedMessage(std::string_view mount_point);

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

 private:
  void CreateControls();
  QWidget* CreateControl(const ControlRow& row, QWidget* parent);
  void FillDriveList();
  void SetTabOrder();
  void MirrorModel();

  void WatchMountTable();
  bool StillAsListed(std::size_t entry);

  QWidget* DriveListWidget() const;

  void OpenReadme() override;
  void OpenAbout() override;
  void RunBuild() override;
  void StopBuild();
  void BuildEnded();

  Services services_;
  MainWindowModel model_;
  PlacedWidgets widgets_;
  // A drive list entry as it was read: a plain folder with its identity then, so that GO can
  // tell the same folder from another one put in its place.
  struct ListedVolume {
    RemovableVolume volume;
    std::optional<platform::FileId> folder;
  };
  std::vector<ListedVolume> listed_;
  int mount_table_fd_ = -1;
  QSocketNotifier* mount_table_watch_ = nullptr;
  bool refresh_after_build_ = false;
  double dialog_scale_ = 1.0;
  QPointer<AboutWindow> about_;
  QObject* enter_clicks_ = nullptr;  // the filter that lets Enter click a focused button

  std::unique_ptr<WindowBuild> build_;
  QPointer<ProgressWindow> progress_;
  QPointer<QWidget> focus_before_build_;
  bool asking_to_close_ = false;
  bool ended_while_asking_ = false;
  bool close_after_build_ = false;
};

}  // namespace talvex::ui::qt
