#include "ui/qt/kit_folder.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "engine/guard.h"
#include "ui/control_table.h"
#include "ui/qt/qt_ui.h"

namespace talvex::ui::qt {

std::optional<std::string> ChooseKitFolder(platform::FileSystem& fs,
                                           const KitFolderChoice& choice) {
  if (choice.named) {
    if (build::HoldsKit(fs, *choice.named)) return choice.named;
    choice.tell(build::NoKitMessage(*choice.named));
    return std::nullopt;
  }
  for (const std::string& folder : choice.usual) {
    if (build::HoldsKit(fs, folder)) return folder;
  }
  // Asked until the answer is a kit: a wrong folder is an easy slip in a folder dialog.
  while (std::optional<std::string> answer = choice.ask()) {
    if (build::HoldsKit(fs, *answer)) return answer;
    choice.tell(build::NoKitMessage(*answer));
  }
  return std::nullopt;
}

std::optional<std::string> AskForKitFolderByDialog(const std::string& start) {
  const QString folder = QFileDialog::getExistingDirectory(
      nullptr, QStringLiteral("Папка комплекта Talvex (с папкой Talvex внутри)"),
      start.empty() ? QDir::homePath() : QString::fromStdString(start));
  if (folder.isEmpty()) return std::nullopt;
  return QDir::cleanPath(folder).toStdString();
}

void TellByMessageBox(const std::string& message) {
  QMessageBox::warning(nullptr, ToQString(kMainWindow.title), ToQString(message));
}

}  // namespace talvex::ui::qt
