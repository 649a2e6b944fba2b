#include "ui/win32/build_runner.h"

#include <shobjidl.h>

#include <utility>

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

void TaskbarProgress::Show(std::uint64_t done, std::uint64_t total) {
  if (taskbar_ == nullptr) return;
  if (total == 0) {
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
  } else {
    taskbar_->SetProgressState(window_, TBPF_NORMAL);
    taskbar_->SetProgressValue(window_, done, total);
  }
}

BuildWorker::BuildWorker(HWND window, platform::FileSystem& fs, build::SessionRequest request)
    : window_(window), request_(std::move(request)) {
  request_.stop = &stop_;
  thread_ = std::thread([this, &fs] {
    result_ = build::RunSession(fs, request_, this);
    PostMessageW(window_, kBuildEnded, 0, 0);
  });
}

BuildWorker::~BuildWorker() {
  if (thread_.joinable()) {
    Stop();
    thread_.join();
  }
}

void BuildWorker::OnProgress(const build::BuildProgress& progress) {
  const std::lock_guard lock(mutex_);
  const bool posted = latest_.has_value();
  latest_ = progress;
  // The window reads the latest state when it gets to it; a second message would only repeat it.
  if (!posted) PostMessageW(window_, kBuildProgressChanged, 0, 0);
}

std::optional<build::BuildProgress> BuildWorker::TakeProgress() {
  const std::lock_guard lock(mutex_);
  return std::exchange(latest_, std::nullopt);
}

build::SessionResult BuildWorker::Join() {
  if (thread_.joinable()) thread_.join();
  return std::move(result_);
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
