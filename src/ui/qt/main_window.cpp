#include "ui/qt/main_window.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include "engine/guard.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "ui/qt/about_window.h"
#include "ui/qt/build_runner.h"
#include "ui/qt/filtered_line_edit.h"
#include "ui/qt/progress_window.h"

namespace talvex::ui::qt {

namespace {

// The readme beside the kit, in the backslash form of the kit's tables.
constexpr std::string_view kReadmeFile = "\\Talvex\\readme.txt";

}  // namespace

Services DefaultServices(std::string source_root) {
  Services services;
  services.file_system = &platform::NativeFileSystem();
  services.decimal_separator = platform::DecimalSeparator();
  services.list_volumes = [kit = source_root] {
    return platform::posix::ListRemovableVolumes("/", kit);
  };
  services.mount_table = "/proc/self/mountinfo";
  services.source_root = std::move(source_root);
  return services;
}

std::string VolumeEntryText(const RemovableVolume& volume) {
  if (volume.label.empty()) return volume.mount_point;
  return volume.mount_point + " [" + volume.label + "]";
}

MainWindow::MainWindow(Services services) : services_(std::move(services)) {
  const DialogScale scale = MakeFixedDialogFrame(*this, kMainWindow, Qt::Window, "FrmMain");
  CreateControls();
  dialog_scale_ = FitDialogFonts(widgets_, scale);
  SetTabOrder();
  FillDriveList();
  WatchMountTable();
  MirrorModel();
  CentreOnScreen(*this);
  if (QWidget* drive = DriveListWidget()) drive->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  if (about_) delete about_.data();
  // The notifier goes before the descriptor it watches.
  delete mount_table_watch_;
  if (mount_table_fd_ >= 0) ::close(mount_table_fd_);
}

void MainWindow::WatchMountTable() {
  if (services_.mount_table.empty()) return;
  // Only the exceptional condition means a change: the table is always readable.
  mount_table_fd_ = ::open(services_.mount_table.c_str(), O_RDONLY | O_CLOEXEC);
  if (mount_table_fd_ < 0) return;  // the list is still read again whenever it drops down
  mount_table_watch_ = new QSocketNotifier(mount_table_fd_, QSocketNotifier::Exception, this);
  connect(mount_table_watch_, &QSocketNotifier::activated, this, [this] { FillDriveList(); });
}

void MainWindow::FillDriveList() {
  auto* list = dynamic_cast<DriveList*>(DriveListWidget());
  if (list == nullptr) return;
  // A build goes on with the drive and the options it started with; the list catches up after.
  if (model_.phase() != Phase::kIdle) {
    refresh_after_build_ = true;
    return;
  }
  refresh_after_build_ = false;
  listed_.clear();
  std::vector<DriveListEntry> entries;
  for (RemovableVolume& volume :
       services_.list_volumes ? services_.list_volumes() : std::vector<RemovableVolume>{}) {
    DriveListEntry entry;
    entry.text = VolumeEntryText(volume);
    entry.root = volume.mount_point;
    entry.identity = platform::DriveIdentity(*services_.file_system, volume.mount_point);
    if (!entry.identity) continue;  // a dead mount: nothing could be built there
    // The listing offers flash drives only; a folder named on the command line is asked about.
    entry.removable =
        !volume.device.empty() || platform::DescribeDrive(volume.mount_point).removable;
    listed_.push_back({std::move(volume), entry.removable});
    entries.push_back(std::move(entry));
  }
  list->clear();
  for (const DriveListEntry& entry : entries) {
    list->addItem(ToQString(entry.text));
    // Whole, however the closed list cuts it.
    list->setItemData(list->count() - 1, ToQString(entry.text), Qt::ToolTipRole);
  }
  // Mount points are longer than drive letters: the open list is as wide as its longest entry.
  list->FitOpenListToEntries();
  // Before any pick, the first entry (the command line's folder, when one is named); after it,
  // the picked drive while it is there, and else none.
  const std::optional<DrivePick> picked = model_.drive_pick();
  std::optional<std::size_t> chosen;
  if (picked) {
    chosen = ChosenDriveEntry(entries, *picked);
  } else if (!entries.empty()) {
    chosen = 0;
  }
  list->setCurrentIndex(chosen ? static_cast<int>(*chosen) : -1);
  if (chosen) {
    const DriveListEntry& entry = entries[*chosen];
    model_.DriveChosen(entry.text, picked.value_or(DrivePick{entry.root, entry.identity}));
  } else if (picked) {
    model_.DriveChosen({}, {});  // the picked drive went away: none is picked until the user picks
  }
}

QWidget* MainWindow::DriveListWidget() const {
  return widgets_.Find(options::FieldOf(&options::BuildOptions::Drive1).name);
}

void MainWindow::PickDrive(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= listed_.size()) return;
  const std::string& root = listed_[static_cast<std::size_t>(index)].volume.mount_point;
  model_.DriveChosen(VolumeEntryText(listed_[static_cast<std::size_t>(index)].volume),
                     {root, platform::DriveIdentity(*services_.file_system, root)});
}

bool MainWindow::StillAsPicked(const DrivePick& pick) {
  const auto listed = std::find_if(listed_.begin(), listed_.end(), [&](const ListedVolume& entry) {
    return entry.volume.mount_point == pick.root;
  });
  if (listed == listed_.end() || !pick.identity ||
      platform::DriveIdentity(*services_.file_system, pick.root) != pick.identity) {
    return false;
  }
  if (listed->volume.device.empty()) return true;
  // Listed again means mounted at the same place from the same device, writable, and still
  // neither the system's volume nor the kit's.
  for (const RemovableVolume& volume : services_.list_volumes()) {
    if (volume.mount_point == pick.root && volume.device == listed->volume.device) return true;
  }
  return false;
}

bool MainWindow::AgreedToNotRemovable(const std::string& root) {
  return AgreedTo(NotRemovableDriveQuestion(root, false));
}

bool MainWindow::AgreedTo(const std::string& question) {
  QMessageBox box(QMessageBox::Warning, ToQString(kMainWindow.title), ToQString(question),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void MainWindow::MirrorModel() {
  for (const auto& placed : widgets_) {
    const std::string_view name = placed.row->name;
    if (auto* box = qobject_cast<QCheckBox*>(placed.widget)) {
      const bool checked = model_.CheckOf(name) == options::CheckState::kChecked;
      if (box->isChecked() != checked) box->setChecked(checked);
    }
    // A control inside a disabled frame is disabled by the frame itself, so it keeps its own
    // state enabled and comes back with the frame.
    const bool container_enabled =
        placed.row->container.empty() || model_.IsEnabled(placed.row->container);
    placed.widget->setEnabled(model_.IsEnabled(name) || !container_enabled);
  }
}

void MainWindow::OpenReadme() {
  const QString readme =
      QString::fromStdString(platform::JoinPayloadPath(services_.source_root, kReadmeFile));
  OpenOrSay(this, QUrl::fromLocalFile(readme), readme);
}

void MainWindow::OpenAbout() {
  setEnabled(false);
  about_ = new AboutWindow(this);
  connect(about_, &AboutWindow::closed, this, [this] {
    setEnabled(true);
    // Back where the user left: on the About button, once this window is active again.
    QTimer::singleShot(0, this, [this] {
      if (QWidget* about = widgets_.Find(MainControl(ControlRole::kAbout).name)) {
        about->setFocus(Qt::OtherFocusReason);
      }
    });
  });
  about_->show();
}

void MainWindow::RunBuild() {
  // A refused build ends before it began; the list is read again first when it is out of date.
  const auto refuse = [this](std::string_view why, bool list_out_of_date = false) {
    model_.BuildEnded();
    if (list_out_of_date) FillDriveList();
    QMessageBox::warning(this, ToQString(kMainWindow.title), ToQString(why));
  };
  const std::optional<DrivePick> pick = model_.drive_pick();
  if (!pick || pick->root.empty()) {
    refuse(kNoFlashDrive);
    return;
  }
  // Without a kit the build would empty the stick's payload and copy nothing back.
  if (!build::HoldsKit(*services_.file_system, services_.source_root)) {
    refuse(build::NoKitMessage(services_.source_root));
    return;
  }
  // The list may be older than the last unplugging: the drive picked is checked once more, so a
  // build never lands in the empty folder a stick leaves behind, nor on another volume.
  if (!StillAsPicked(*pick)) {
    refuse(DriveChangedMessage(pick->root), true);
    return;
  }
  const auto listed = std::find_if(listed_.begin(), listed_.end(), [&](const ListedVolume& entry) {
    return entry.volume.mount_point == pick->root;
  });
  if (!listed->removable && !AgreedToNotRemovable(pick->root)) {
    model_.BuildEnded();
    return;
  }
  if (const auto addresses = ImpossibleAddressQuestion(model_.options());
      addresses && !AgreedTo(*addresses)) {
    model_.BuildEnded();
    return;
  }
  WindowBuildRequest request;
  request.file_system = services_.file_system;
  request.source_root = services_.source_root;
  request.target = pick->root;
  request.options = model_.options();
  request.decimal_separator = services_.decimal_separator;
  request.expected_root = pick->identity;

  // The model stays in its building phase until the build has ended: every control is locked,
  // and what is clicked or typed meanwhile is dropped, never acted on afterwards.
  focus_before_build_ = QApplication::focusWidget();
  MirrorModel();
  // Only over this window: the progress window's Stop stays a button to press.
  setCursor(Qt::WaitCursor);
  build_ = std::make_unique<WindowBuild>(std::move(request));
  progress_ = new ProgressWindow(this);
  connect(progress_, &ProgressWindow::stopAsked, this, &MainWindow::StopBuild);
  connect(progress_, &ProgressWindow::closeAsked, this, &QWidget::close);
  connect(build_.get(), &WindowBuild::progressed, this, [this] {
    if (progress_ && build_) progress_->Show(build_->LatestProgress());
  });
  connect(build_.get(), &WindowBuild::ended, this, &MainWindow::BuildEnded);
  progress_->show();
  build_->Start();
}

void MainWindow::StopBuild() {
  if (build_) build_->Stop();
  if (progress_) progress_->ShowStopping();
}

void MainWindow::BuildEnded() {
  // The question to close is still open: its answer decides whether a report comes.
  if (asking_to_close_) {
    ended_while_asking_ = true;
    return;
  }
  // The progress window goes before the report. It may be the one whose close box brought us
  // here, so it is deleted once that has returned.
  if (ProgressWindow* ending = progress_) {
    progress_ = nullptr;
    ending->hide();
    ending->deleteLater();
  }
  model_.BuildEnded();
  if (refresh_after_build_) FillDriveList();
  MirrorModel();
  unsetCursor();
  if (focus_before_build_ && focus_before_build_->isEnabled()) focus_before_build_->setFocus();
  // No build runs while the report is up, so the window closes normally meanwhile.
  std::unique_ptr<WindowBuild> build = std::move(build_);
  if (close_after_build_ || build->ShowReport(this)) {
    // Closed once this event has been handled, not under the button or question still on it.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
  // This call may have come from the build's own signal: it goes once that has returned.
  build.release()->deleteLater();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (build_) {
    // The window stays until the build has ended, so that what was written is flushed.
    event->ignore();
    if (asking_to_close_ || close_after_build_) return;
    asking_to_close_ = true;
    QMessageBox box(QMessageBox::Question, ToQString(kMainWindow.title),
                    ToQString(kCloseDuringBuildQuestion), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    const bool stop = box.exec() == QMessageBox::Yes;
    asking_to_close_ = false;
    if (stop) {
      close_after_build_ = true;
      StopBuild();
    }
    if (ended_while_asking_) {
      ended_while_asking_ = false;
      BuildEnded();
    }
    return;
  }
  if (about_) about_->close();
  event->accept();
}

}  // namespace talvex::ui::qt
