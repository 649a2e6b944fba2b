#include "ui/win32/build_runner.h"

#include <shobjidl.h>

#include "platform/copy_progress.h"
#include "ui/control_table.h"
#include "ui/win32/win32_ui.h"

namespace talvex::ui::win32 {

TaskbarProgress::~TaskbarProgress() {
  if (taskbar_ != nullptr) taskbar_->Release();
}

void TaskbarProgress::Connect() {
  if (taskbar_ == nullptr &&
      SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar_))) &&
      FAILED(taskbar_->HrInit())) {
    taskbar_->Release();
    taskbar_ = nullptr;
  }
}

void TaskbarProgress::Show(std::size_t done, std::size_t total) {
  if (taskbar_ == nullptr) return;
  if (total == 0) {
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
  } else {
    taskbar_->SetProgressState(window_, TBPF_NORMAL);
    taskbar_->SetProgressValue(window_, done, total);
  }
}

build::SessionResult WindowBuildRunner::Run(platform::FileSystem& fs,
                                            const build::SessionRequest& request) {
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  progress_.Connect();
  // A single large file can take longer to copy than a window may go unpainted.
  const platform::ScopedCopyProgressHook repaint([] { PumpPendingMessages(true); });
  build::SessionResult result = build::RunSession(fs, request, this);
  progress_.Show(0, 0);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  return result;
}

void WindowBuildRunner::OnPhase(build::BuildPhase phase) {
  if (phase == build::BuildPhase::kMeasuring && measuring_) measuring_();
}

void WindowBuildRunner::OnStep(std::size_t index, std::size_t total, const build::BuildStep&) {
  progress_.Show(index, total);
  PumpPendingMessages(true);
}

void WindowBuildRunner::Yield() {
  PumpPendingMessages(false);
}

build::ReportOutcome AskAboutResult(const UiServices& services, HWND owner,
                                    const build::SessionResult& result) {
  if (result.build.refused) {
    services.message_box(owner, Wide(result.build.refusal), Wide(kMainWindow.title),
                         MB_OK | MB_ICONWARNING);
    return {};
  }
  const build::BuildReport report = build::WindowReport(result.report);
  const UINT icon = report.icon == build::ReportIcon::kWarning ? MB_ICONWARNING : MB_ICONQUESTION;
  const int answer = services.message_box(owner, Wide(report.message), Wide(report.title),
                                          MB_YESNO | MB_DEFBUTTON1 | icon);
  return build::OutcomeOf(report,
                          answer == IDYES ? build::ReportAnswer::kYes : build::ReportAnswer::kNo);
}

}  // namespace talvex::ui::win32
