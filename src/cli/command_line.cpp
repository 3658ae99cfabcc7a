// The command-line face of purge-database.
#include "cli/command_line.h"

#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "cli/backup_commands.h"
#include "cli/cli_face.h"
#include "cli/cli_options.h"
#include "cli/cli_purge.h"
#include "cli/exit_status.h"
#include "platform/app.h"
#include "platform/clock.h"

namespace cli {

int runCommandLine(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(app::title());
  QCoreApplication::setApplicationVersion(app::versionText());
  QCoreApplication::setOrganizationName(QString::fromUtf8(app::kCompany));

  const ParseResult parsed =
      parseArguments(QCoreApplication::arguments().mid(1), sysclock::today());
  if (!parsed.ok) {
    writeErr(QStringLiteral("purge-database: ") + parsed.error);
    writeErr(QStringLiteral("Try 'purge-database --help' for more information."));
    return kExitUsage;
  }
  const Request& request = parsed.request;
  switch (request.command) {
    case Command::Help:
      writeOut(helpText().trimmed());
      return kExitSuccess;
    case Command::Version:
      writeOut(QStringLiteral("purge-database ") + app::versionText());
      return kExitSuccess;
    case Command::ListBackups:
    case Command::Restore: {
      QTextStream out(stdout), err(stderr);
      return request.command == Command::ListBackups
                 ? listBackupsCommand(request.dbPath, request.verify, request.json, out, err)
                 : restoreCommand(request.dbPath, request.restore, request.json, out, err);
    }
    case Command::Purge:
      break;
  }
  StderrPresenter presenter;
  setMsgBoxPresenter(&presenter);
  const int status = request.dryRun ? runDryRun(request) : runPurge(request);
  setMsgBoxPresenter(nullptr);
  return status;
}

}  // namespace cli
