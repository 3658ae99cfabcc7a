// Purge Database: with no arguments the program starts on its main window;
// with any argument it runs its command line, without a window or display.
#include <csignal>

#include <QApplication>

#include "cli/command_line.h"
#include "platform/app.h"
#include "purge/purge_database.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write fails with EFBIG and its step says so,
  // instead of the kernel killing the program with no box and a hot journal.
  std::signal(SIGXFSZ, SIG_IGN);

  if (argc > 1) return cli::runCommandLine(argc, argv);

  QApplication application(argc, argv);
  QApplication::setApplicationName(app::title());
  QApplication::setApplicationVersion(app::versionText());
  QApplication::setOrganizationName(QString::fromUtf8(app::kCompany));
  QApplication::setDesktopFileName(QStringLiteral("purge-database"));

  MainWindow().get()->show();
  return application.exec();
}
