#include "ui/qt/report_box.h"

#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "engine/build_report.h"
#include "ui/control_table.h"
#include "ui/qt/qt_ui.h"

namespace talvex::ui::qt {

bool ShowResult(QWidget* window, const build::SessionResult& result) {
  if (result.build.refused) {
    QMessageBox::warning(window, ToQString(kMainWindow.title), ToQString(result.build.refusal));
    return false;
  }
  const build::BuildReport report = build::WindowReport(result.report);
  QMessageBox box(
      report.icon == build::ReportIcon::kWarning ? QMessageBox::Warning : QMessageBox::Question,
      ToQString(report.title), ToQString(build::MessageWithLineFeeds(report.message)),
      QMessageBox::Yes | QMessageBox::No, window);
  box.setDefaultButton(QMessageBox::Yes);
  // The message names the first failures and counts the rest; "Show Details..." lists them all.
  const std::vector<std::string>& failures = result.report.failure_lines;
  if (failures.size() > build::kReportedFailuresMax) {
    QStringList all;
    for (const std::string& line : failures) all.push_back(ToQString(line));
    box.setDetailedText(all.join('\n'));
  }
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
