// talvex-auto on Linux: the main window over the kit folder.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QSettings>
#include <QStyleFactory>

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/process.h"
#include "ui/control_table.h"
#include "ui/qt/kit_folder.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui.h"

namespace {
// Where the settings keep the kit folder the window last started on.
const QString kLastKitKey = QStringLiteral("kitFolder");
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("talvex"));
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
      QStringLiteral("Offer FOLDER in the drive list too, first (to try the program without a "
                     "flash drive). GO asks before building there unless FOLDER is a flash "
                     "drive's mount point."),
      QStringLiteral("FOLDER"));
  parser.addOption(target);
  parser.addPositionalArgument(
      QStringLiteral("kit"),
      QStringLiteral("The kit folder (the one holding Talvex and the application folders). By "
                     "default the program's own folder or the current folder, whichever holds a "
                     "kit; otherwise the program asks for it."),
      QStringLiteral("[kit]"));
  parser.process(application);

  // The kit lies beside the program, as on Windows. An installed program lives in a bin folder,
  // though: then the folder it was started in, then the kit it last started on (the desktop
  // starts it in the home folder), and failing those the folder the user picks, the dialog
  // opening on that last kit. The kit folder is all that is remembered: the build's choices are
  // never stored.
  QSettings settings;
  const std::string last_kit = settings.value(kLastKitKey).toString().toStdString();
  talvex::ui::qt::KitFolderChoice choice;
  const QStringList positional = parser.positionalArguments();
  if (!positional.isEmpty()) {
    choice.named = QDir::cleanPath(QDir(positional.first()).absolutePath()).toStdString();
  }
  choice.usual = {talvex::platform::ExecutableFolder(), QDir::currentPath().toStdString()};
  if (!last_kit.empty()) choice.usual.push_back(last_kit);
  choice.ask = [&last_kit] { return talvex::ui::qt::AskForKitFolderByDialog(last_kit); };
  choice.tell = talvex::ui::qt::TellByMessageBox;
  const std::optional<std::string> kit =
      talvex::ui::qt::ChooseKitFolder(talvex::platform::NativeFileSystem(), choice);
  // Without a kit there is nothing to build from; the user has been told why, or cancelled.
  if (!kit) return static_cast<int>(talvex::platform::ExitStatus::kNothingDone);
  settings.setValue(kLastKitKey, QString::fromStdString(*kit));
  talvex::ui::qt::Services services = talvex::ui::qt::DefaultServices(*kit);
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
  // Nothing asks the event loop to end with another code than the one of a window closed.
  const int loop = QApplication::exec();
  return static_cast<int>(loop == 0 ? talvex::platform::ExitStatus::kBuilt
                                    : talvex::platform::ExitStatus::kNothingDone);
}
