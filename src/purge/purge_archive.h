// The archive of purged rows: a database file beside the shop's database
// that receives every row an archiving purge removes, each with the day it
// was archived, and from which rows can be put back. A row is in the
// database or in the archive, never in neither and, after the start of the
// next archiving run or undo, never in both.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include <QDate>
#include <QString>
#include <QStringList>

#include "platform/core/status.h"
#include "platform/filesafety/run_lock.h"
#include "purge/purge_db_tables.h"

namespace archive {

// The column of every archived row that holds the day it was archived.
inline constexpr const char* kArchivedOn = "ArchivedOn";

// The archive beside the database `dbPath`: "kvarchive.mdb" in its folder.
QString archivePathFor(const QString& dbPath);

// An archive made ready for a run: its resolved path, and per shop table
// the columns the shop database gives that table (the archive holds each,
// and ArchivedOn).
struct Layout {
  QString path;
  QString dbPath;  // resolved
  std::map<QString, QStringList> columns;
};

// Takes into `lock` the run lock of the archive's folder when it is not the
// folder of the database `dbPath` (nor of the file a link there names),
// whose lock the caller holds: two databases that share one archive then
// take turns with it. Ok (also when nothing needed locking); EBUSY with
// runlock::kBusyText while another run holds it.
Status lockArchiveFolder(const QString& dbPath, const QString& archivePath, runlock::RunLock& lock);

// Readies the archive `archivePath` (through paths::resolve) for a run on
// the database `dbPath`, before anything of either is changed, under the
// run lock the caller holds. Refuses, changing nothing, a link, a folder or
// anything but a regular file at that name, the database itself (same
// device and inode), a name that the backup store counts as a backup (so
// retention never removes the archive), a file that is no SQLite database,
// and one that fails the integrity check (after what a crashed writer left
// beside it was recovered, on a copy first: db::recoverLeftovers). A missing
// archive is made when `create`, else refused with ENOENT; an empty file
// (left by a kill before its first commit) counts as missing. The archive
// is then given the database's journal mode, a table for every shop table
// the database holds (its columns and ArchivedOn; a column the database has
// gained is added) and the indexes the copies and the undo look up by, and
// rows an interrupted archiving or undo left in both files lose their
// archive copy. On success `layout` is filled. Refusals carry EINVAL (what
// is at the name), SQLITE_CORRUPT (damaged), ENOENT (missing), EBUSY (held
// by another program past the busy timeout) or SQLite's code, each with a
// text for the operator naming the file.
Status prepare(const QString& dbPath, const QString& archivePath, bool create, Layout& layout);

// What an archiving run would find at `archivePath`, changing nothing (for
// a dry run): Ok with `present` true when a file is there that prepare()
// would take (checked with integrity_check, read as immutable so nothing is
// made beside it; a live journal or WAL beside it is refused EBUSY), Ok with `present` false when nothing (or an
// empty file) is there and the run would make the archive; otherwise the
// refusal prepare() would give, or the check's finding.
Status inspect(const QString& dbPath, const QString& archivePath, bool& present);

// While one lives, the table purges of this process copy the rows each
// delete removes into the archive in the delete's own transaction (see
// archiveAndDelete). One run makes one.
class ArchiveScope {
 public:
  ArchiveScope(Layout layout, const QDate& today);
  ~ArchiveScope();
  ArchiveScope(const ArchiveScope&) = delete;
  ArchiveScope& operator=(const ArchiveScope&) = delete;
  static const ArchiveScope* current();
  const Layout& layout() const { return m_layout; }
  const QDate& today() const { return m_today; }

 private:
  Layout m_layout;
  QDate m_today;
  const ArchiveScope* m_outer;
};

// Copies the rows of the shop table `plan.table` that match
// `plan.condition` into the archive, with `scope.today()` as ArchivedOn
// (a row already there with the same values in every column is not copied
// again), and deletes them from the database, in one transaction over both
// files: the archive commits first, so a crash between the two commits
// leaves the rows in both, which the next prepare() settles. Statements are
// in the shop's dialect and go through the engine's rules in force (the date
// guard). Fails with the engine's code and message, nothing changed.
Status archiveAndDelete(const ArchiveScope& scope, const TablePurgePlan& plan);

// What the archiving statements of this process wrote into archives, in
// rows (copies and bookkeeping), and the rows they archived (equal to the
// rows their deletes removed), summed since the program started. The
// difference across a step tells what that step did.
qint64 archiveWritesSoFar();
qint64 archivedRowsSoFar();

// One table of an undo: the archived rows it selected, those put back (now
// in the database and no longer in the archive) and those refused because
// their ID is taken by another row of the database.
struct UnarchivedTable {
  QString table;
  qint64 selected = 0;
  qint64 returned = 0;
  qint64 refused = 0;
  bool ok = false;
};

// Puts archived rows back into the database: of each shop table in
// `tables`, the rows dated before `before` (by the purge's date column;
// contacts never contacted included), or all of them when `before` is not
// given. Each table in one transaction over both files: the rows go into
// the database, which commits first, and leave the archive. A row whose ID
// the database now holds for another row stays in the archive and is
// counted refused; rows added to the database since are left alone. Runs
// prepare()'s result; stops at the first table that fails, whose result
// has ok false, with the engine's code and message.
Status unarchive(const Layout& layout, const std::vector<ShopTable>& tables, const std::optional<QDate>& before,
                 std::vector<UnarchivedTable>& out);

// The rows per shop table in the archive at `archivePath`, read only (no
// journal played back, nothing made beside it). Fails with SQLite's code
// and message when it cannot be read.
Status rowCounts(const QString& archivePath, std::vector<std::pair<QString, qint64>>& out);

}  // namespace archive
