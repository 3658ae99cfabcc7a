// The command line's options: the one table that defines them, the parser
// that turns arguments into a request, and the help text.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "purge/purge_sequence.h"

namespace cli {

// What the command line was asked to do.
enum class Command { Help, Version, Purge, ListBackups, Restore, Unarchive };

struct Request {
  Command command = Command::Purge;
  QDate cutOff;              // the rows dated before it go
  PurgeSelection selection;  // none: backup and compaction only
  QString dbPath;            // absolute, or the program's "C:\..." path
  bool dryRun = false;
  bool json = false;
  bool quiet = false;
  int keepBackups = 0;  // after a successful purge keep the newest N; 0: keep all
  bool verify = false;  // --list-backups: integrity_check instead of quick_check
  QString restore;      // --restore: DDMMYYYY or a backup file
  // The archive of removed rows: on a purge "" unless asked for; for
  // --list-backups and --unarchive always the one to read.
  QString archive;
  bool allArchived = false;  // --unarchive: every archived row, not only those before cutOff
  QDate today;               // the run's one reading of the clock, set after parsing: backup name, kept backups
};

// The result of parsing: a request, or the usage error to print.
struct ParseResult {
  bool ok = false;
  Request request;
  QString error;
};

// Parses `arguments` (without the program name) against `today`. Fails with
// a one-line message for an unknown option, a missing or malformed value,
// an argument that is no option, both or neither of --before and
// --older-than on a purge, a cut-off after `today`, --keep-backups below 1,
// two options that each ask for a request of their own (--list-backups,
// --restore), and an option that does not go with the request asked for
// (--verify without --list-backups, a purge option with --restore), and
// for --unarchive neither or both of --before and --all-archived (no table
// switch: every table). Relative
// database paths are made absolute against the current folder; a drive path
// ("C:\...") is kept for the drive mapping.
ParseResult parseArguments(const QStringList& arguments, const QDate& today);

// The text of --help: usage, every option of the table, the exit status.
QString helpText();

}  // namespace cli
