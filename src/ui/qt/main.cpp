// talvex-auto on Linux: the main window over the kit folder.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileDialog>
#include <QStyleFactory>

#include "fsutil/kit_lookup.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "ui/control_table.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui.h"

namespace {

bool HoldsKit(const QString& folder) {
  talvex::platform::FileSystem& fs = talvex::platform::NativeFileSystem();
  const std::string payload = talvex::fsutil::FindKitPath(fs, folder.toStdString(), "\\Talvex");
  bool exists = false;
  return fs.Exists(payload, exists) && exists;
}

// The kit lies beside the program, as on Windows. An installed program lives in a bin folder,
// though: then the folder it was started in, and failing that the folder the user picks.
QString DefaultKitFolder() {
  const QString beside = QString::fromStdString(talvex::platform::ExecutableFolder());
  if (HoldsKit(beside)) return beside;
  if (HoldsKit(QDir::currentPath())) return QDir::currentPath();
  return QFileDialog::getExistingDirectory(
      nullptr, QStringLiteral("Папка комплекта Talvex (с папкой Talvex внутри)"), QDir::homePath());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("talvex-auto"));
  QApplication::setApplicationVersion(QStringLiteral(TALVEX_VERSION));
  // The desktop entry the package installs, so that desktops tie the window to its name and icon.
  QApplication::setDesktopFileName(QStringLiteral("org.example.talvex_auto"));
  // The windows are laid out in twips like their Windows originals; one style for every desktop
  // keeps the controls' insides (check marks, frame captions) the size they were measured at.
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

  QCommandLineParser parser;
  parser.setApplicationDescription(talvex::ui::qt::ToQString(talvex::ui::kMainWindow.title));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption target(
      QStringLiteral("target"),
      QStringLiteral("Offer FOLDER in the drive list too, first, as if it were a flash drive's "
                     "mount point (to try the program without a flash drive)."),
      QStringLiteral("FOLDER"));
  parser.addOption(target);
  parser.addPositionalArgument(
      QStringLiteral("kit"),
      QStringLiteral("The kit folder (the one holding Talvex and the application folders). By "
                     "default the program's own folder or the current folder, whichever holds a "
                     "kit; otherwise the program asks for it."),
      QStringLiteral("[kit]"));
  parser.process(application);

  const QStringList positional = parser.positionalArguments();
  const QString kit =
      positional.isEmpty() ? DefaultKitFolder() : QDir(positional.first()).absolutePath();
  talvex::ui::qt::Services services =
      talvex::ui::qt::DefaultServices(QDir::cleanPath(kit).toStdString());
  if (parser.isSet(target)) {
    const std::string folder =
        QDir::cleanPath(QDir(parser.value(target)).absolutePath()).toStdString();
    services.list_volumes = [folder, removable = services.list_volumes] {
      std::vector<talvex::ui::qt::RemovableVolume> volumes{{folder, {}, {}}};
      for (auto& volume : removable()) volumes.push_back(std::move(volume));
      return volumes;
    };
  }
  talvex::ui::qt::MainWindow window(std::move(services));
  window.show();
  return QApplication::exec();
}
