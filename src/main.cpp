// Purge Database: with no arguments the program starts on its main window;
// with any argument it runs its command line, without a window or display.
#include <csignal>
#include <cstdio>

#include <QApplication>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "platform/core/app.h"
#include "purge/purge_window.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write fails with EFBIG and its step says so,
  // instead of the kernel killing the program with no box and a hot journal.
  std::signal(SIGXFSZ, SIG_IGN);

  if (argc > 1) return cli::runCommandLine(argc, argv);

  // Without a display Qt would abort with advice to reinstall; over ssh the
  // operator more likely wants the command line.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fputs(
        "purge-database: no display to show the window on; "
        "see 'purge-database --help' for the command line.\n",
        stderr);
    return cli::kExitUsage;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(app::title());
  QApplication::setApplicationVersion(app::versionText());
  QApplication::setOrganizationName(QString::fromUtf8(app::kCompany));
  QApplication::setDesktopFileName(QStringLiteral("purge-database"));

  MainWindow().get()->show();
  return application.exec();
}
