// The command line's purge and dry run: the checks before touching the
// database, the shared run sequence, and the summary on standard output.
#pragma once

#include <vector>

#include <QString>

#include "cli/cli_options.h"
#include "purge/purge_sequence.h"

namespace cli {

// The tables a selection names, in the run's order.
std::vector<ShopTable> selectedTables(const PurgeSelection& s);

// Why a database cannot be purged at all, before anything is changed:
// NoDatabase when it is missing, a folder, or does not begin as an SQLite
// database; InUse when another program holds it open for writing (as
// DbFile::useStatus decides; one of another account whose programs cannot
// be seen, or one in WAL mode, is not refused: the run works through
// SQLite's locks) or, with
// `sidecarInUse` (a run that cannot recover it), a live journal or WAL is
// beside it; Failed when it cannot be read; with the text to tell (naming
// the path looked at). Success and "" otherwise.
RunVerdict checkBeforeChanging(const QString& dbPath, bool sidecarInUse, QString& message);

// Runs the purge of `request` through the shared sequence (boxes and
// progress on standard error) and writes the summary on standard output.
// Returns the exit status: success; in use or no database when the checks,
// or a backup or compaction refused before any table purge ran, say so
// (the database unchanged); failed otherwise.
int runPurge(const Request& request);

// Reports, without changing anything (every connection read-only, no
// backup, delete, compaction or temporary file), per selected table the
// rows, those the purge would remove (counted with the purge's own
// conditions) and those kept for an unreadable date; whether today's backup
// would be made and its name; the file's size and the free space beside
// it. Returns success, failed (a count failed), in use or no database.
int runDryRun(const Request& request);

}  // namespace cli
