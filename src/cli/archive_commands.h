// The command line's archive commands: --unarchive, and the archive's part
// of --list-backups.
#pragma once

#include <QJsonValue>
#include <QString>
#include <QTextStream>

#include "cli/cli_options.h"

namespace cli {

// --unarchive: puts the archived rows the request selects (its tables;
// those dated before its cut-off unless allArchived) back into the
// database, under the run lock, after the database's recovery (PrepareRun),
// the archive's checks and settling (archive::prepare, never making one),
// and the database's check (CheckDB). The summary on standard output (with
// --json one object): per table the rows selected, put back, and refused
// because their ID is taken by another row; refused rows are also told on
// standard error and stay in the archive. 0 when every table was done
// (refused rows included), 1 when a step failed or the archive is missing,
// damaged or no file of its own, 3 when another run or program holds the
// database or the archive, 4 when the database is missing or no database.
int unarchiveCommand(const Request& request);

// The archive at `archivePath` for --list-backups: nothing when no file is
// there (`json` null, `text` empty, true). Otherwise its path, size, check
// (quick_check, integrity_check with `verify`, as a backup's) and rows per
// table, as a line or two of `text` and as the object `json`; false when it
// fails its check or cannot be read. Changes nothing.
bool listArchive(const QString& archivePath, bool verify, QJsonValue& json, QString& text);

}  // namespace cli
