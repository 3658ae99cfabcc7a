// Purge Database: the program starts on its main window.
#include <csignal>

#include <QApplication>

#include "platform/app.h"
#include "purge/purge_database.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write fails with EFBIG and its step says so,
  // instead of the kernel killing the program with no box and a hot journal.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication application(argc, argv);
  QApplication::setApplicationName(app::title());
  QApplication::setApplicationVersion(app::versionText());
  QApplication::setOrganizationName(QString::fromUtf8(app::kCompany));
  QApplication::setDesktopFileName(QStringLiteral("purge-database"));

  MainWindow().get()->show();
  return application.exec();
}
