// The main window's part in a build: what GO checks first, the build run modally under the
// progress window, and closing the window while it runs.
#include <memory>
#include <optional>
#include <string>

#include "platform/drives.h"
#include "ui/win32/main_window.h"
#include "ui/win32/report_box.h"
#include "ui/window_texts.h"

namespace talvex::ui::win32 {

void MainWindow::Warn(const std::string& text) {
  services_.message_box(window_, Wide(text), Wide(kMainWindow.title), MB_OK | MB_ICONWARNING);
}

bool MainWindow::ReadyToBuild() {
  const std::optional<DrivePick>& pick = model_.drive_pick();
  if (!pick || pick->root.empty()) {
    Warn(std::string(kNoFlashDrive));
    return false;
  }
  // A letter names whatever volume has it now: the stick the user picked may have been pulled
  // and another drive been given its letter.
  const char letter = DriveLetterOf(pick->root);
  if (!pick->identity || services_.drive_identity(letter) != pick->identity) {
    const std::string root = pick->root;
    ReadDrivesAgain(DriveList());
    Warn(DriveChangedMessage(root));
    return false;
  }
  const bool holds_windows = letter == services_.windows_drive_letter();
  if ((holds_windows || !platform::DescribeDrive(pick->root).removable) &&
      !AgreedTo(holds_windows ? SystemDriveQuestion(pick->root)
                              : NotRemovableDriveQuestion(pick->root))) {
    return false;
  }
  const auto addresses = ImpossibleAddressQuestion(model_.options());
  return !addresses || AgreedTo(*addresses);
}

bool MainWindow::AgreedTo(const std::string& question) {
  return services_.message_box(window_, Wide(question), Wide(kMainWindow.title),
                               MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
}

void MainWindow::RunBuild() {
  if (!ReadyToBuild()) {
    model_.BuildEnded();
    if (drive_list_stale_) RefreshDriveList();
    return;
  }
  HWND focus = GetFocus();
  MirrorModel();  // every control locked until the report
  progress_->Connect();
  build::SessionRequest request{services_.source_root,
                                build::TargetOfDriveEntry(model_.options().Drive1),
                                model_.options(), services_.decimal_separator};
  // The drive the user picked, as it was checked: a volume given its letter since is refused.
  if (model_.drive_pick()) request.expected_root = model_.drive_pick()->identity;
  // Modal, as the About window is: the main window takes no input until the build has ended.
  EnableWindow(window_, FALSE);
  // The build's thread posts; this thread's loop below takes the messages.
  BuildRunner::Posts posts;
  posts.progressed = [window = window_] { PostMessageW(window, kBuildProgressChanged, 0, 0); };
  posts.ended = [window = window_] { PostMessageW(window, kBuildEnded, 0, 0); };
  runner_ =
      std::make_unique<BuildRunner>(*services_.file_system, std::move(request), std::move(posts));
  ProgressWindow::Calls calls;
  calls.stop = [this] { runner_->Stop(); };
  calls.close_asked = [this] { AskToStopAndClose(); };
  progress_window_ = ProgressWindow::Create(window_, std::move(calls), services_.decimal_separator);
  const build::SessionResult result = WaitForBuild();
  progress_->Show(0, 0);
  // Enabled before the progress window goes, so that the activation comes back here.
  EnableWindow(window_, TRUE);
  if (progress_window_ != nullptr) DestroyWindow(progress_window_->handle());
  progress_window_ = nullptr;
  model_.BuildEnded();
  if (drive_list_stale_) RefreshDriveList();
  MirrorModel();
  if (close_after_build_) {
    // The user has said to stop and close: no report. Closed once this click has been handled.
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  if (focus != nullptr && IsWindowEnabled(focus)) SetFocus(focus);

  report_failures_ = FailuresNotAllNamed(result);
  const build::ReportOutcome outcome = AskAboutResult(services_, window_, result);
  report_failures_.clear();
  if (!outcome.open_file.empty()) {
    services_.start_program(NotepadCommandLine(outcome.open_file), SW_SHOWNORMAL);
  }
  // Closed once this click has been handled, not under the button that is still reporting it.
  if (outcome.close_program) PostMessageW(window_, WM_CLOSE, 0, 0);
}

build::SessionResult MainWindow::WaitForBuild() {
  std::optional<int> quit;
  MSG message;
  while (!build_ended_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got < 0) break;  // the build is then waited for without the messages
    if (got == 0) {
      // The program is asked to end: the build stops first, and the request waits for it.
      quit = static_cast<int>(message.wParam);
      if (progress_window_ != nullptr) progress_window_->PressStop();
      runner_->Stop();
      continue;
    }
    if (IsNavigationMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  build_ended_ = false;
  build::SessionResult result = runner_->Join();
  runner_.reset();
  if (quit) PostQuitMessage(*quit);
  return result;
}

void MainWindow::ShowProgress() {
  if (runner_ == nullptr) return;
  const std::optional<build::BuildProgress> progress = runner_->TakeProgress();
  if (!progress) return;
  progress_->Show(progress->bytes_done, progress->bytes_total);
  if (progress_window_ != nullptr) progress_window_->Show(*progress);
}

void MainWindow::OnClose() {
  if (model_.phase() == Phase::kIdle) {
    DestroyWindow(window_);
    return;
  }
  AskToStopAndClose();
}

void MainWindow::AskToStopAndClose() {
  // Before the build starts, GO's own questions are open; once it has been asked, once is enough.
  if (runner_ == nullptr || close_after_build_ || asking_to_close_) return;
  asking_to_close_ = true;
  // Over the progress window: a box over the disabled main window would enable it as it closes.
  HWND owner = progress_window_ != nullptr ? progress_window_->handle() : window_;
  const bool stop =
      services_.message_box(owner, Wide(kCloseDuringBuildQuestion), Wide(kMainWindow.title),
                            MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
  asking_to_close_ = false;
  if (stop) close_after_build_ = true;
  if (progress_window_ == nullptr) return;
  if (stop) {
    progress_window_->PressStop();
  } else {
    progress_window_->TakeFocus();
  }
}

}  // namespace talvex::ui::win32
