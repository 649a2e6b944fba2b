#include "ui/qt/build_runner.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "engine/build_report.h"
#include "engine/session.h"
#include "platform/paths.h"
#include "ui/control_table.h"
#include "ui/qt/qt_ui.h"

namespace talvex::ui::qt {

namespace {

class ProgressObserver final : public build::BuildObserver {
 public:
  explicit ProgressObserver(BuildProgress& progress) : progress_(progress) {}
  void OnStep(std::size_t, std::size_t, const build::BuildStep&) override {
    progress_.BetweenSteps();
  }
  void Yield() override { progress_.WhileMeasuring(); }

 private:
  BuildProgress& progress_;
};

}  // namespace

WindowBuild::WindowBuild() = default;
WindowBuild::~WindowBuild() = default;

void WindowBuild::Run(const BuildRequest& request, BuildProgress& progress) {
  ProgressObserver observer(progress);
  // There are no drive letters here: the report names the volume by its mount point.
  const build::SessionRequest session{request.source_root, build::TargetOfFolder(request.target),
                                      *request.options, request.decimal_separator};
  result_ = std::make_unique<build::SessionResult>(
      build::RunSession(*request.file_system, session, &observer));
}

bool WindowBuild::ShowReport(QWidget* window, const BuildRequest& request) const {
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
  // The report asks for an editor exactly when pvr is ticked; here the desktop picks the editor.
  if (!report.editor_command_line.empty()) {
    const std::string settings =
        platform::JoinPayloadPath(request.source_root, build::kPvrSettingsFile);
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(settings)));
  }
  return true;
}

}  // namespace talvex::ui::qt
