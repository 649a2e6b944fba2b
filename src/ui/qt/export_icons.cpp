// Writes each size of the program's icon as the PNG that desktop icon themes want:
//   talvex-export-icons <talvex.ico> <folder>  ->  <folder>/<n>x<n>/apps/talvex-auto.png
// The package installs that folder under share/icons/hicolor.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);  // finds the image format plugins
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <icon file> <output folder>\n", argv[0]);
    return 2;
  }
  QImageReader reader(QString::fromLocal8Bit(argv[1]));
  int written = 0;
  for (int index = 0; index < reader.imageCount(); ++index) {
    if (!reader.jumpToImage(index)) break;
    const QImage image = reader.read();
    if (image.isNull()) continue;
    const QString size = QStringLiteral("%1x%1").arg(image.width());
    const QString folder = QString::fromLocal8Bit(argv[2]) + "/" + size + "/apps";
    if (!QDir().mkpath(folder) || !image.save(folder + "/talvex-auto.png")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
      return 1;
    }
    ++written;
  }
  if (written == 0) {
    std::fprintf(stderr, "no icon in %s: %s\n", argv[1], qPrintable(reader.errorString()));
    return 1;
  }
  return 0;
}
