// The database engine over the SQLite C API.
#include "platform/core/db_engine.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include "platform/core/jet_dialect.h"
#include "platform/core/paths.h"
#include "platform/core/vector_unit.h"
#include "platform/filesafety/db_file.h"

namespace db {
namespace {

// Page cache of a connection, in KiB. Measured on the purge's deletes of
// hundreds of thousands of rows with their indexes: a larger cache helps the
// contacts delete and slows the transactions delete (24 MiB: -15% and +15%
// against SQLite's 2 MB); 8 MiB is as fast as either overall and keeps the
// whole purge far under 64 MiB.
constexpr int kCacheKiB = 8 * 1024;
constexpr int32_t kErrNoCurrentRecord = 3021;
constexpr int32_t kErrItemNotFound = 3265;

bool g_readOnlyConnections = false;
// The sum behind changedRowsSoFar().
std::atomic<qint64> g_changedRows{0};
// The rules of the innermost StatementRulesScope alive; null when none is.
const StatementRules* g_rules = nullptr;

std::function<void(const QString&)>& observer() {
  static std::function<void(const QString&)> fn;
  return fn;
}

Status engineError(sqlite3* db) {
  return Status::Error(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

// Frees a prepared statement on every way out.
struct StmtGuard {
  sqlite3_stmt* stmt = nullptr;
  ~StmtGuard() { sqlite3_finalize(stmt); }
};

bool onlySpaceOrSemicolons(const char* tail) {
  for (; tail && *tail; ++tail)
    if (!(*tail == ';' || *tail == ' ' || *tail == '\t' || *tail == '\r' || *tail == '\n')) return false;
  return true;
}

QVariant isoDateValue(const QString& text) {
  if (text.size() == 10) {
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (d.isValid()) return QDateTime(d, QTime(0, 0));
  } else if (text.size() >= 19) {
    QString t = text;
    if (t.at(10) == QLatin1Char(' ')) t[10] = QLatin1Char('T');
    const QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (dt.isValid()) return dt;
  }
  return text;
}

QVariant columnValue(sqlite3_stmt* stmt, int col, int declared) {
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_NULL:
      return QVariant();
    case SQLITE_INTEGER: {
      const qlonglong v = sqlite3_column_int64(stmt, col);
      if (declared == kTypeBoolean) return QVariant(v != 0);
      return QVariant(v);
    }
    case SQLITE_FLOAT:
      return QVariant(sqlite3_column_double(stmt, col));
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, col));
      return QByteArray(p, sqlite3_column_bytes(stmt, col));
    }
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
      const QString text = QString::fromUtf8(p, sqlite3_column_bytes(stmt, col));
      if (declared == kTypeDate) return isoDateValue(text);
      return text;
    }
  }
}

int typeOfValue(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
      return kTypeInteger;
    case QMetaType::Double:
      return kTypeDouble;
    case QMetaType::QString:
      return kTypeVarChar;
    case QMetaType::QByteArray:
      return kTypeBinary;
    default:
      return kTypeEmpty;
  }
}

// Runs the prepared statement to its end; rows go to `row` when given.
Status stepAll(sqlite3* db, sqlite3_stmt* stmt, const std::function<void()>& row) {
  for (;;) {
    cpu::settleVectorUnit();
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return Status::Ok();
    if (rc != SQLITE_ROW) return engineError(db);
    if (row) row();
  }
}

// True when the file at `path` is an SQLite database in WAL mode with no
// -wal beside it (beside the file a link names, where SQLite keeps it): the
// file alone then holds every committed row.
bool walWithoutLog(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  struct stat st;
  // Only a regular file's header is read: a FIFO would block the reader.
  if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const DbFile file = DbFile::fromNative(native);
  if (file.journalMode() != DbFile::JournalMode::Wal) return false;
  return ::lstat((file.followed().nativePath() + "-wal").constData(), &st) != 0 && errno == ENOENT;
}

}  // namespace

int typeCodeOfDeclared(const QString& declaredType) {
  QString t = declaredType.trimmed().toUpper();
  const qsizetype cut = t.indexOf(QRegularExpression(QStringLiteral("[ (]")));
  if (cut >= 0) t.truncate(cut);
  if (t.isEmpty()) return -1;
  struct Entry {
    const char* name;
    int code;
  };
  static const Entry table[] = {
      {"TEXT", kTypeVarChar},      {"CHAR", kTypeVarChar},    {"VARCHAR", kTypeVarChar}, {"MEMO", kTypeLongVarChar},
      {"CLOB", kTypeLongVarChar},  {"DATETIME", kTypeDate},   {"DATE", kTypeDate},       {"TIME", kTypeDate},
      {"TIMESTAMP", kTypeDate},    {"BOOLEAN", kTypeBoolean}, {"BIT", kTypeBoolean},     {"YESNO", kTypeBoolean},
      {"SMALLINT", kTypeSmallInt}, {"INTEGER", kTypeInteger}, {"INT", kTypeInteger},     {"LONG", kTypeInteger},
      {"COUNTER", kTypeInteger},   {"REAL", kTypeDouble},     {"DOUBLE", kTypeDouble},   {"FLOAT", kTypeDouble},
      {"CURRENCY", kTypeCurrency}, {"MONEY", kTypeCurrency},  {"NUMERIC", kTypeNumeric}, {"DECIMAL", kTypeNumeric},
      {"BLOB", kTypeBinary},
  };
  for (const Entry& e : table)
    if (t == QLatin1String(e.name)) return e.code;
  // Other declared types by SQLite's own affinity rules.
  if (t.contains(QLatin1String("INT"))) return kTypeInteger;
  if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT"))) return kTypeVarChar;
  return -1;
}

Status Recordset::field(const QString& name, Field& out) const {
  if (eof())
    return Status::Error(kErrNoCurrentRecord,
                         QStringLiteral("There is no current row: the result set is before its first row or past "
                                        "its last."));
  for (qsizetype i = 0; i < m_names.size(); ++i) {
    if (m_names.at(i).compare(name, Qt::CaseInsensitive) != 0) continue;
    out.name = m_names.at(i);
    out.value = (*m_row)[size_t(i)];
    const int declared = m_declaredTypes[size_t(i)];
    out.type = declared >= 0 ? declared : typeOfValue(out.value);
    return Status::Ok();
  }
  return Status::Error(kErrItemNotFound, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                                        "requested name or ordinal."));
}

void Recordset::close() {
  m_row.reset();
  m_names.clear();
  m_declaredTypes.clear();
  m_state = kStateClosed;
}

Connection::~Connection() { close(); }

void Connection::close() {
  if (m_db) sqlite3_close_v2(m_db);
  m_db = nullptr;
}

Status Connection::open(const QString& connectionText) {
  close();
  static const QString key = QStringLiteral("Data Source=");
  const qsizetype at = connectionText.indexOf(key, 0, Qt::CaseInsensitive);
  if (at < 0)
    return Status::Error(kErrConnectionText,
                         QStringLiteral("The connection text does not name a database file (Data Source=...)."));
  QString path = paths::resolve(connectionText.mid(at + key.size()));
  if (path.isEmpty()) return Status::Error(SQLITE_CANTOPEN, QStringLiteral("unable to open database file"));
  // A relative name such as ":memory:" or "file:x" is a file name here.
  if (!path.startsWith(QLatin1Char('/'))) path.prepend(QStringLiteral("./"));

  // A file without any write permission bit stands for a read-only file:
  // it is opened read-only, so a statement that writes fails with "attempt
  // to write a readonly database" even where the kernel would allow the
  // write (as root).
  struct stat st;
  const bool readOnly =
      g_readOnlyConnections || (::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 0222) == 0);
  sqlite3* db = nullptr;
  // A reader of a WAL database makes its -wal and -shm even when it only
  // reads; immutable tells SQLite that nothing else is there, so a dry run
  // leaves the folder exactly as it found it.
  const bool immutable = g_readOnlyConnections && walWithoutLog(path);
  const int rc = immutable ? sqlite3_open_v2(db::fileUri(path.toUtf8(), "mode=ro&immutable=1").constData(), &db,
                                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
                           : sqlite3_open_v2(path.toUtf8().constData(), &db,
                                             readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    const Status s = db ? engineError(db) : Status::Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
    sqlite3_close_v2(db);
    return s;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  const QByteArray pragma = "PRAGMA cache_size=-" + QByteArray::number(kCacheKiB);
  sqlite3_exec(db, pragma.constData(), nullptr, nullptr, nullptr);
  // A delete zeroes the rows it removes inside the pages that stay, but does
  // not rewrite the pages it frees: the compaction after a purge drops those
  // from the file, and the day's backup holds every row anyway. Wiping them
  // too (secure_delete=ON, the default of Debian's SQLite) journals each
  // freed page and writes it out again as zeros: at 0.9 GB the five purge
  // deletes took 5.1 s that way and 4.1 s this way.
  sqlite3_exec(db, "PRAGMA secure_delete=FAST", nullptr, nullptr, nullptr);
  if (g_rules && g_rules->prepareConnection) {
    if (Status s = g_rules->prepareConnection(db); !s.ok()) {
      sqlite3_close_v2(db);
      return s;
    }
  }
  m_db = db;
  return Status::Ok();
}

Status Connection::prepare(const QString& statement, sqlite3_stmt** stmt) {
  if (observer()) observer()(statement);
  if (!m_db) return Status::Error(SQLITE_MISUSE, QStringLiteral("The connection is closed."));
  QString sql;
  const Status translated =
      g_rules && g_rules->translate ? g_rules->translate(statement, sql) : jet::translate(statement, sql);
  if (!translated.ok()) return translated;
  const QByteArray utf8 = sql.toUtf8();
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), stmt, &tail) != SQLITE_OK) return engineError(m_db);
  if (!onlySpaceOrSemicolons(tail))
    return Status::Error(kErrTrailingText,
                         QStringLiteral("The statement has more text after its end; nothing was run."));
  return Status::Ok();
}

Status Connection::execute(const QString& statement) {
  StmtGuard g;
  if (Status s = prepare(statement, &g.stmt); !s.ok()) return s;
  if (!g.stmt) return Status::Ok();  // empty statement
  // sqlite3_changes keeps the figure of the last INSERT, UPDATE or DELETE of
  // the connection, so a statement of another kind is known by the total
  // standing still.
  const sqlite3_int64 totalBefore = sqlite3_total_changes64(m_db);
  const Status s = stepAll(m_db, g.stmt, nullptr);
  if (s.ok() && sqlite3_total_changes64(m_db) != totalBefore) g_changedRows += sqlite3_changes64(m_db);
  return s;
}

Status Connection::query(const QString& statement, Recordset& rs) {
  rs.close();
  StmtGuard g;
  if (Status s = prepare(statement, &g.stmt); !s.ok()) return s;
  if (!g.stmt) return Status::Error(SQLITE_MISUSE, QStringLiteral("The query is empty."));

  Recordset fresh;
  const int cols = sqlite3_column_count(g.stmt);
  for (int c = 0; c < cols; ++c) {
    fresh.m_names << QString::fromUtf8(sqlite3_column_name(g.stmt, c));
    fresh.m_declaredTypes.push_back(typeCodeOfDeclared(QString::fromUtf8(sqlite3_column_decltype(g.stmt, c))));
  }
  const Status s = stepAll(m_db, g.stmt, [&] {
    if (fresh.m_row) return;
    std::vector<QVariant> row;
    row.reserve(size_t(cols));
    for (int c = 0; c < cols; ++c) row.push_back(columnValue(g.stmt, c, fresh.m_declaredTypes[size_t(c)]));
    fresh.m_row = std::move(row);
  });
  if (!s.ok()) return s;
  fresh.m_state = kStateOpen;
  rs = std::move(fresh);
  return Status::Ok();
}

StatementRulesScope::StatementRulesScope(StatementRules rules) : m_rules(std::move(rules)), m_outer(g_rules) {
  g_rules = &m_rules;
}

StatementRulesScope::~StatementRulesScope() { g_rules = m_outer; }

void setReadOnlyConnections(bool readOnly) { g_readOnlyConnections = readOnly; }

qint64 changedRowsSoFar() { return g_changedRows.load(); }

void setStatementObserver(std::function<void(const QString&)> fn) { observer() = std::move(fn); }

}  // namespace db
