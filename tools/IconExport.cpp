// Writes the icon the program carries as PNG files for the desktop's icon
// theme: FOLDER/<n>x<n>/apps/tessary.png for each size given. Sizes the icon
// holds are drawn from their own picture; larger ones enlarge the largest
// picture pixel by pixel, as the icon is pixel art.
//
//   icon_export FOLDER SIZE...

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "AfxIcon.h"
#include "AfxNative.h"
#include "Resource.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: icon_export FOLDER SIZE...\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const HICON handle = AfxLoadIcon(IDR_MAINFRAME);
  const QImage* largest = AfxLargestIconImage(handle);
  if (largest == nullptr) {
    std::fprintf(stderr, "icon_export: the program has no icon\n");
    return 1;
  }
  const QIcon icon = AfxIconToQIcon(handle, nullptr);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QImage image =
        size <= largest->width()
            ? icon.pixmap(QSize(size, size)).toImage()
            : largest->scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QString folder = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
    if (!QDir().mkpath(folder) || !image.save(folder + "/tessary.png", "PNG")) {
      std::fprintf(stderr, "icon_export: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
