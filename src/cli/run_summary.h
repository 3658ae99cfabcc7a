// What a command-line purge or dry run reports, gathered once and written
// either as the human summary or as one JSON object.
#pragma once

#include <vector>

#include <QJsonObject>
#include <QString>

#include "cli/cli_face.h"
#include "purge/purge_db_tables.h"

namespace cli {

// A purge that ran: the sequence's figures around the database.
struct PurgeSummary {
  bool success = false;
  int status = 0;  // the exit status
  QString database, cutOff, backup;
  QString archive;  // resolved; "" when the run keeps no archive
  bool backupMade = false, backupFound = false;
  qint64 sizeBefore = -1, sizeAfter = -1;  // -1 where unknown
  std::vector<TableFigures> tables;
  std::vector<StepFigures> steps;
  double totalSeconds = 0;
};

// One table of a dry run: its rows, those the purge would remove, and
// those kept for an unreadable date (-1 where a count failed).
struct DryRunTable {
  ShopTable table = ShopTable::Contacts;
  qint64 rows = -1, purgeable = -1, kept = -1;
};

// A dry run: what a purge would do, nothing changed.
struct DryRunSummary {
  int status = 0;
  QString database, cutOff, backup;
  QString archive;       // resolved; "" when the purge would keep no archive
  QString archiveState;  // what is at the archive's name: "would be made", "ok", or why it would be refused
  bool backupWanted = false;
  qint64 size = -1, freeSpace = -1;
  std::vector<DryRunTable> tables;
};

// The JSON objects (without "keepBackups", which retention adds).
QJsonObject toJson(const PurgeSummary& s);
QJsonObject toJson(const DryRunSummary& s);

// The human summaries: lines without a final line end.
QString toText(const PurgeSummary& s);
QString toText(const DryRunSummary& s);

}  // namespace cli
