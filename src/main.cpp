// Purge Database: the program starts on its main window.
#include <cstdio>

#include <QApplication>

#include "platform/app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(app::title());
  std::fprintf(stderr, "%s %s: the main window is not built yet.\n",
               qPrintable(app::title()), qPrintable(app::versionText()));
  return 0;
}
