// talvex-auto on Linux: the main window over the kit folder.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStyleFactory>

#include "platform/process.h"
#include "ui/control_table.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui.h"

namespace {

// The kit lies beside the program, as on Windows; an installed program lives in a bin folder,
// though, so then the folder the program was started in stands for the kit.
QString DefaultKitFolder() {
  const QString beside = QString::fromStdString(talvex::platform::ExecutableFolder());
  if (QDir(beside).exists(QStringLiteral("Talvex"))) return beside;
  return QDir::currentPath();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("talvex-auto"));
  QApplication::setApplicationVersion(QStringLiteral(TALVEX_VERSION));
  // The windows are laid out in twips like their Windows originals; one style for every desktop
  // keeps the controls' insides (check marks, frame captions) the size they were measured at.
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

  QCommandLineParser parser;
  parser.setApplicationDescription(talvex::ui::qt::ToQString(talvex::ui::kMainWindow.title));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("kit"),
      QStringLiteral("The kit folder (the one holding Talvex and the application folders); by "
                     "default the program's own folder if it holds one, else the current folder."),
      QStringLiteral("[kit]"));
  parser.process(application);

  const QStringList positional = parser.positionalArguments();
  const QString kit =
      positional.isEmpty() ? DefaultKitFolder() : QDir(positional.first()).absolutePath();
  talvex::ui::qt::MainWindow window(
      talvex::ui::qt::DefaultServices(QDir::cleanPath(kit).toStdString()));
  window.show();
  return QApplication::exec();
}
