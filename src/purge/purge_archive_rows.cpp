// The archive's rows: copied in with a purge's delete, put back by an undo.
#include <atomic>

#include <sqlite3.h>

#include "data/connection.h"
#include "platform/core/db_engine.h"
#include "platform/core/liveness.h"
#include "platform/core/locale_dates.h"
#include "purge/archive_sql.h"
#include "purge/purge_archive.h"
#include "purge/purge_date_guard.h"

namespace archive {
namespace {

const ArchiveScope* g_scope = nullptr;
std::atomic<qint64> g_writes{0};
std::atomic<qint64> g_archived{0};

// One connection on `mainPath` with `otherPath` attached as `otherName`,
// whose statements count the rows they change.
class Session {
 public:
  Status open(const QString& mainPath, const QString& otherPath, const QString& otherName) {
    if (Status s = m_conn.open(GetConnectionString(mainPath)); !s.ok()) return s;
    return run(QStringLiteral("ATTACH DATABASE %1 AS %2").arg(sqlText(otherPath), otherName));
  }
  // Runs one statement; `changed` (when given) gets the rows it changed.
  Status run(const QString& sql, qint64* changed = nullptr) {
    const qint64 before = db::changedRowsSoFar();
    const Status s = m_conn.execute(sql);
    if (changed) *changed = db::changedRowsSoFar() - before;
    return s;
  }
  // The number the query's first column gives; -1 when it fails.
  qint64 number(const QString& sql) {
    db::Recordset rs;
    db::Field field;
    if (!m_conn.query(sql, rs).ok() || rs.eof() || !rs.field(QStringLiteral("N"), field).ok()) return -1;
    return field.value.toLongLong();
  }
  // Ends the transaction under way: its commit when `s` is ok, else a
  // rollback and `s`.
  Status finish(const Status& s) {
    if (s.ok()) return run(QStringLiteral("COMMIT"));
    run(QStringLiteral("ROLLBACK"));
    return s;
  }

 private:
  db::Connection m_conn;
};

QString markSql(const QString& schema, const QString& table, bool set) {
  return set ? QStringLiteral("INSERT INTO %1.%2 (TableName) VALUES (%3)").arg(schema, kPendingTable, sqlText(table))
             : QStringLiteral("DELETE FROM %1.%2 WHERE TableName = %3").arg(schema, kPendingTable, sqlText(table));
}

// The copy into the archive and the delete, the archive attached as main.
Status copyAndDelete(Session& session, const QStringList& columns, const TablePurgePlan& plan, const QDate& today) {
  const QString t = bracketed(plan.table);
  const QString copy = QStringLiteral(
                           "INSERT INTO main.%1 (%2, %3) SELECT %4, %5 FROM shop.%1 AS m WHERE (%6) And Not Exists "
                           "(SELECT 1 FROM main.%1 AS a WHERE %7)")
                           .arg(t, columnList(columns, QString()), QLatin1String(kArchivedOn),
                                columnList(columns, QStringLiteral("m")), sqlText(today.toString(Qt::ISODate)),
                                plan.condition, sameRow(columns, QStringLiteral("a"), QStringLiteral("m")));
  qint64 copied = 0, marked = 0, removed = 0;
  Status s = session.run(QStringLiteral("BEGIN IMMEDIATE"));
  if (s.ok()) s = session.run(markSql(QStringLiteral("main"), plan.table, true), &marked);
  if (s.ok()) s = session.run(copy, &copied);
  if (s.ok()) s = session.run(QStringLiteral("Delete From shop.%1 Where %2").arg(t, plan.condition), &removed);
  s = session.finish(s);
  if (!s.ok()) return s;
  g_writes += marked + copied;
  g_archived += removed;
  // The mark is cleared once both commits landed; a crash before leaves it
  // for the next run, which then finds no row in both.
  qint64 cleared = 0;
  session.run(markSql(QStringLiteral("main"), plan.table, false), &cleared);
  g_writes += cleared;
  return Status::Ok();
}

// The archived rows an undo selects, as a condition on the archive's table.
QString selection(ShopTable table, const std::optional<QDate>& before) {
  if (!before) return QStringLiteral("1 = 1");
  const QString date = QLatin1Char('#') + locale_dates::dateToText(*before) + QLatin1Char('#');
  if (table == ShopTable::Contacts)
    return QStringLiteral("(LastContactDate < %1 Or LastContactDate Is Null)").arg(date);
  return QStringLiteral("[Date] < %1").arg(date);
}

// One table's undo, the database as main and the archive attached: the
// mark first in a commit of its own, then the rows back into the database
// and out of the archive in one transaction (the database commits first).
Status unarchiveTable(Session& session, const QStringList& columns, const QString& where, UnarchivedTable& out) {
  const QString t = bracketed(out.table);
  const QString put =
      QStringLiteral(
          "INSERT INTO main.%1 (%2) SELECT %3 FROM arc.%1 AS a WHERE (%4) And Not Exists (SELECT 1 FROM "
          "main.%1 AS m WHERE m.[ID] = a.[ID]) And a.rowid = (SELECT Min(b.rowid) FROM arc.%1 AS b WHERE "
          "b.[ID] = a.[ID])")
          .arg(t, columnList(columns, QString()), columnList(columns, QStringLiteral("a")), where);
  const QString take = QStringLiteral("DELETE FROM arc.%1 WHERE (%2) And Exists (SELECT 1 FROM main.%1 AS m WHERE %3)")
                           .arg(t, where, sameRow(columns, QStringLiteral("m"), QStringLiteral("arc.") + t));
  Status s = session.run(markSql(QStringLiteral("arc"), out.table, true));
  if (s.ok()) s = session.run(QStringLiteral("BEGIN IMMEDIATE"));
  if (!s.ok()) return s;
  out.selected = session.number(QStringLiteral("SELECT Count(*) AS N FROM arc.%1 WHERE %2").arg(t, where));
  if (out.selected < 0) s = Status::Error(SQLITE_ERROR, QStringLiteral("The archived rows could not be counted."));
  if (s.ok()) s = session.run(put);
  if (s.ok()) s = session.run(take, &out.returned);
  s = session.finish(s);
  if (!s.ok()) return s;
  out.refused = out.selected - out.returned;
  session.run(markSql(QStringLiteral("arc"), out.table, false));
  return Status::Ok();
}

}  // namespace

ArchiveScope::ArchiveScope(Layout layout, const QDate& today)
    : m_layout(std::move(layout)), m_today(today), m_outer(g_scope) {
  g_scope = this;
}

ArchiveScope::~ArchiveScope() { g_scope = m_outer; }

const ArchiveScope* ArchiveScope::current() { return g_scope; }

qint64 archiveWritesSoFar() { return g_writes.load(); }
qint64 archivedRowsSoFar() { return g_archived.load(); }

Status archiveAndDelete(const ArchiveScope& scope, const TablePurgePlan& plan) {
  const auto it = scope.layout().columns.find(plan.table);
  if (it == scope.layout().columns.end())
    return Status::Error(SQLITE_ERROR, QStringLiteral("no such table: %1").arg(plan.table));
  return liveness::run([&] {
    Session session;
    Status s = session.open(scope.layout().path, scope.layout().dbPath, QStringLiteral("shop"));
    if (s.ok()) s = copyAndDelete(session, it->second, plan, scope.today());
    return s;
  });
}

Status unarchive(const Layout& layout, const std::vector<ShopTable>& tables, const std::optional<QDate>& before,
                 std::vector<UnarchivedTable>& out) {
  out.clear();
  const purge_guard::DateGuardScope guard;
  Session session;
  if (Status s = session.open(layout.dbPath, layout.path, QStringLiteral("arc")); !s.ok()) return s;
  for (ShopTable table : tables) {
    UnarchivedTable result;
    result.table = shopTableName(table);
    const auto it = layout.columns.find(result.table);
    Status s = Status::Ok();
    if (it != layout.columns.end()) s = unarchiveTable(session, it->second, selection(table, before), result);
    result.ok = s.ok();
    out.push_back(result);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace archive
