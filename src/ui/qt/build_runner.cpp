#include "ui/qt/build_runner.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "engine/build_report.h"
#include "engine/session.h"
#include "ui/control_table.h"
#include "ui/qt/qt_ui.h"

namespace talvex::ui::qt {

// Called on the build's thread.
class WindowBuild::Observer final : public build::BuildObserver {
 public:
  explicit Observer(WindowBuild& build) : build_(build) {}
  void OnProgress(const build::BuildProgress& progress) override { build_.Tell(progress); }

 private:
  WindowBuild& build_;
};

WindowBuild::WindowBuild(WindowBuildRequest request) : request_(std::move(request)) {}

WindowBuild::~WindowBuild() {
  Stop();
  if (worker_.joinable()) worker_.join();
}

void WindowBuild::Start() {
  worker_ = std::thread([this] {
    Observer observer(*this);
    // There are no drive letters here: the report names the volume by its mount point.
    build::SessionRequest session{request_.source_root, build::TargetOfFolder(request_.target),
                                  request_.options, request_.decimal_separator};
    session.expected_root = request_.expected_root;
    session.stop = &stop_;
    result_ = std::make_unique<build::SessionResult>(
        build::RunSession(*request_.file_system, session, &observer));
    // Runs on the window's thread after every progress notice posted before it; a build
    // destroyed first takes the posted call with it.
    QMetaObject::invokeMethod(
        this,
        [this] {
          worker_.join();
          emit ended();
        },
        Qt::QueuedConnection);
  });
}

void WindowBuild::Tell(const build::BuildProgress& progress) {
  {
    const std::lock_guard<std::mutex> lock(latest_mutex_);
    latest_ = progress;
  }
  if (notice_waiting_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        // Cleared before the window reads, so progress told meanwhile posts a notice again.
        notice_waiting_.store(false);
        emit progressed();
      },
      Qt::QueuedConnection);
}

build::BuildProgress WindowBuild::LatestProgress() const {
  const std::lock_guard<std::mutex> lock(latest_mutex_);
  return latest_;
}

bool WindowBuild::ShowReport(QWidget* window) const {
  if (!result_) return false;
  if (result_->build.refused) {
    QMessageBox::warning(window, ToQString(kMainWindow.title), ToQString(result_->build.refusal));
    return false;
  }
  const build::BuildReport report = build::WindowReport(result_->report);
  QMessageBox box(
      report.icon == build::ReportIcon::kWarning ? QMessageBox::Warning : QMessageBox::Question,
      ToQString(report.title), ToQString(build::MessageWithLineFeeds(report.message)),
      QMessageBox::Yes | QMessageBox::No, window);
  box.setDefaultButton(QMessageBox::Yes);
  if (box.exec() != QMessageBox::Yes) return false;
  // The report offers the kit's PVR settings file exactly when pvr is ticked; here the desktop
  // picks the application that opens it.
  if (!report.offered_file.empty()) {
    const QString settings = QString::fromStdString(report.offered_file);
    OpenOrSay(window, QUrl::fromLocalFile(settings), settings);
  }
  return true;
}

}  // namespace talvex::ui::qt
