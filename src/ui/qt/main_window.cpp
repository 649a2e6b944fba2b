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

#include "platform/drives.h"
#include "platform/process.h"
#include "ui/drive_entry.h"
#include "ui/qt/about_window.h"
#include "ui/qt/filtered_line_edit.h"
#include "ui/qt/progress_window.h"
#include "ui/qt/report_box.h"
#include "ui/window_texts.h"

namespace talvex::ui::qt {

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
  // A build still running stops and is waited for while the window is whole.
  build_.reset();
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
  list->clear();
  for (RemovableVolume& volume :
       services_.list_volumes ? services_.list_volumes() : std::vector<RemovableVolume>{}) {
    DriveListEntry entry;
    const EntryParts parts = VolumeEntryParts(volume.label, volume.mount_point, volume.size_bytes,
                                              services_.decimal_separator);
    entry.text = parts.Whole();
    entry.root = volume.mount_point;
    entry.identity = platform::DriveIdentity(*services_.file_system, volume.mount_point);
    if (!entry.identity) continue;  // a dead mount: nothing could be built there
    // The listing offers flash drives only; a folder named on the command line is asked about.
    entry.removable =
        !volume.device.empty() || platform::DescribeDrive(volume.mount_point).removable;
    list->AddEntry(parts, VolumeLocation(volume.mount_point, volume.source));
    listed_.push_back({std::move(volume), entry.text, entry.removable});
    entries.push_back(std::move(entry));
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
  const ListedVolume& listed = listed_[static_cast<std::size_t>(index)];
  const std::string& root = listed.volume.mount_point;
  model_.DriveChosen(listed.text, {root, platform::DriveIdentity(*services_.file_system, root)});
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
  return AgreedTo(NotRemovableDriveQuestion(root));
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
  const QString readme = QString::fromStdString(ReadmePath(services_.source_root));
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
  // There are no drive letters here: the report names the volume by its mount point.
  build::SessionRequest request{services_.source_root, build::TargetOfFolder(pick->root),
                                model_.options(), services_.decimal_separator};
  request.expected_root = pick->identity;

  // The model stays in its building phase until the build has ended: every control is locked,
  // and what is clicked or typed meanwhile is dropped, never acted on afterwards.
  focus_before_build_ = QApplication::focusWidget();
  MirrorModel();
  // Only over this window: the progress window's Stop stays a button to press.
  setCursor(Qt::WaitCursor);
  progress_ = new ProgressWindow(this, services_.decimal_separator);
  connect(progress_, &ProgressWindow::stopAsked, this, &MainWindow::StopBuild);
  connect(progress_, &ProgressWindow::closeAsked, this, &MainWindow::AskToStopAndClose);
  progress_->show();
  // Posted from the build's thread; a window destroyed first takes the posted calls with it.
  BuildRunner::Posts posts;
  posts.progressed = [this] {
    QMetaObject::invokeMethod(this, &MainWindow::ShowProgress, Qt::QueuedConnection);
  };
  posts.ended = [this] {
    QMetaObject::invokeMethod(this, &MainWindow::BuildEnded, Qt::QueuedConnection);
  };
  build_ =
      std::make_unique<BuildRunner>(*services_.file_system, std::move(request), std::move(posts));
}

void MainWindow::ShowProgress() {
  if (!build_) return;
  const std::optional<build::BuildProgress> progress = build_->TakeProgress();
  if (progress && progress_) progress_->Show(*progress);
}

void MainWindow::StopBuild() {
  if (build_) build_->Stop();
  if (progress_) progress_->ShowStopping();
}

void MainWindow::AskToStopAndClose() {
  if (!build_ || asking_to_close_ || close_after_build_) return;
  asking_to_close_ = true;
  QMessageBox box(QMessageBox::Question, ToQString(kMainWindow.title),
                  ToQString(kCloseDuringBuildQuestion), QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  const bool stop = box.exec() == QMessageBox::Yes;
  asking_to_close_ = false;
  if (stop) {
    close_after_build_ = true;
    StopBuild();
  } else if (progress_) {
    progress_->TakeFocus();
  }
  if (ended_while_asking_) {
    ended_while_asking_ = false;
    BuildEnded();
  }
}

void MainWindow::BuildEnded() {
  // The question to close is still open: its answer decides whether a report comes.
  if (asking_to_close_) {
    ended_while_asking_ = true;
    return;
  }
  if (!build_) return;
  const build::SessionResult result = build_->Join();
  build_.reset();
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
  if (close_after_build_ || ShowResult(this, result)) {
    // Closed once this event has been handled, not under the button or question still on it.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (build_) {
    // The window stays until the build has ended, so that what was written is flushed.
    event->ignore();
    AskToStopAndClose();
    return;
  }
  if (about_) about_->close();
  event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // During a build Escape asks, as in the progress window.
  if (build_ && event->key() == Qt::Key_Escape) {
    AskToStopAndClose();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The progress window keeps the focus during a build, as a modal one would, whatever the user
  // clicks into.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && progress_ &&
      !asking_to_close_) {
    QTimer::singleShot(0, progress_.data(), &ProgressWindow::TakeFocus);
  }
}

}  // namespace talvex::ui::qt
