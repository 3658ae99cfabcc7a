// The command-line face of purge-database.
#include "cli/command_line.h"

#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QTextStream>

#include "cli/archive_commands.h"
#include "cli/backup_commands.h"
#include "cli/cli_face.h"
#include "cli/cli_options.h"
#include "cli/cli_purge.h"
#include "cli/exit_status.h"
#include "platform/core/app.h"
#include "platform/core/clock.h"

namespace cli {
namespace {

// Carries out the one command of a parsed request; its exit status.
int runRequest(const Request& request) {
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
      const int status =
          request.command == Command::ListBackups
              ? listBackupsCommand(request.dbPath, request.verify, request.json, out, err, request.archive)
              : restoreCommand(request.dbPath, request.restore, request.json, out, err);
      out.flush();
      standardOutputError();  // the cause of a failed write is still in errno
      return status;
    }
    case Command::Purge:
    case Command::Unarchive:
      break;
  }
  StderrPresenter presenter;
  setMsgBoxPresenter(&presenter);
  const int status = request.command == Command::Unarchive ? unarchiveCommand(request)
                     : request.dryRun                      ? runDryRun(request)
                                                           : runPurge(request);
  setMsgBoxPresenter(nullptr);
  return status;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(app::title());
  QCoreApplication::setApplicationVersion(app::versionText());
  QCoreApplication::setOrganizationName(QString::fromUtf8(app::kCompany));

  // The clock is read once: a run that crosses midnight takes its cut-off,
  // its backup's name and the backups it keeps from the same day.
  const QDate today = sysclock::today();
  const ParseResult parsed = parseArguments(QCoreApplication::arguments().mid(1), today);
  if (!parsed.ok) {
    writeErr(QStringLiteral("purge-database: ") + parsed.error);
    writeErr(QStringLiteral("Try 'purge-database --help' for more information."));
    return kExitUsage;
  }
  Request request = parsed.request;
  request.today = today;
  const int status = runRequest(request);
  // A summary that never reached its reader is no success.
  if (const int err = standardOutputError(); err != 0) {
    writeErr(QStringLiteral("purge-database: cannot write to standard output: ") +
             QString::fromLocal8Bit(std::strerror(err)));
    return status == kExitSuccess ? kExitFailed : status;
  }
  return status;
}

}  // namespace cli
