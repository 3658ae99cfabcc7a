// What a purge run left behind in the sandbox drive, read independently of
// the program: per-table hashes of the rows a purge must keep and of the
// rows it may delete, the files in the database folder, and a purge run in a
// child process that can be killed at any moment.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <array>

namespace test {

// The five tables in the order a full run purges them.
inline constexpr int kTableCount = 5;
extern const std::array<const char*, kTableCount> kPurgeOrder;

// One table as read through SQLite: rows in and out of the purge's scope.
struct TableState {
  long long rows = -1;
  long long inScope = -1;  // rows the purge deletes
  QByteArray keptHash;     // hash of the rows the purge keeps, in ID order
};

struct ShopState {
  bool opened = false;
  QString integrity;  // "ok" when PRAGMA integrity_check passes
  std::array<TableState, kTableCount> tables;
};

// Reads the database at `path`, opened read-write as the program opens it
// (so SQLite rolls a hot journal back), with the purge conditions of a run
// with cut-off `cutOff`, written here in plain SQLite.
ShopState readShopState(const QString& path, const QDate& cutOff);

// Every name in `folder`, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);

// Removes every file in `folder`, hidden ones included.
void emptyFolder(const QString& folder);

// The arguments of purge-run-child for a run of all three options.
QStringList fullRunArgs(const QDate& cutOff, const QDate& today);

// Runs purge-run-child to its end; its standard output ("" when it did not
// start or did not end within two minutes).
QString runPurgeChild(const QStringList& args);

}  // namespace test

namespace test {

// Where the rows of one table of a pristine database are now, compared
// column by column (Null equal to Null): in the database only, in the
// archive only, in both, or in neither; and the database's rows that the
// pristine one did not have (-1 everywhere when a file cannot be read).
struct RowSplit {
  long long dbOnly = -1, archiveOnly = -1, both = -1, neither = -1, added = -1;
};

// The split of `table` between the database `db` and the archive `archive`
// (whose table has the same columns and ArchivedOn), against `pristine`.
RowSplit rowSplit(const QString& pristine, const QString& db, const QString& archive, const char* table);

}  // namespace test
