// Test helpers for the file and compaction tests: a child process that holds
// a file open for writing, and small real SQLite database files.
#pragma once

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <functional>

#include <sqlite3.h>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace test {

// Another program with a file open: `sh` opens it on descriptor 3 (for
// appending, or for reading only when `forWriting` is false) and sleeps
// until the object is destroyed.
class OpenFileChild {
 public:
  explicit OpenFileChild(const QString& path, bool forWriting = true) {
    const QString redirect = forWriting ? QStringLiteral("3>>") : QStringLiteral("3<");
    m_proc.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("exec ") + redirect + QStringLiteral("\"$1\"; echo ready; exec sleep 60"),
         QStringLiteral("sh"), path});
    m_ready = m_proc.waitForStarted(5000) && m_proc.waitForReadyRead(5000);
  }
  ~OpenFileChild() {
    m_proc.kill();
    m_proc.waitForFinished(5000);
  }
  bool ready() const { return m_ready; }

 private:
  QProcess m_proc;
  bool m_ready = false;
};

// Runs `sql` on the database at `path` (created when missing); true on success.
inline bool execSql(const QString& path, const QString& sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// The first column of the first row of `sql` as text ("" when none or on
// failure). Opens the file read-only and never creates it.
inline QString queryText(const QString& path, const QString& sql) {
  sqlite3* db = nullptr;
  QString out;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return out;
}

// A database with table Contacts(ID, Name, Date) of `rows` rows, each with a
// `payload`-byte name; rows with odd ID are dated 2003, the others 2005.
inline bool makeContactsDb(const QString& path, int rows, int payload = 200) {
  return execSql(path, QStringLiteral("CREATE TABLE Contacts(ID INTEGER PRIMARY KEY, Name TEXT, [Date] DATETIME);"
                                      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<%1) "
                                      "INSERT INTO Contacts SELECT i, printf('%-%2s', 'contact ' || i), "
                                      "CASE i & 1 WHEN 1 THEN '2003-01-01' ELSE '2005-01-01' END FROM n;")
                           .arg(rows)
                           .arg(payload));
}

// makeContactsDb with the other five shop tables, empty: a copy of the
// shop's database as the backup store takes one. Some names are in another
// case, which the store must not mind.
inline bool makeShopCopy(const QString& path, int rows = 5, int payload = 200) {
  return makeContactsDb(path, rows, payload) &&
         execSql(path,
                 "CREATE TABLE setup(ID INTEGER PRIMARY KEY); CREATE TABLE invoicenumbers(ID INTEGER PRIMARY KEY);"
                 "CREATE TABLE PAYMENTS(ID INTEGER PRIMARY KEY); CREATE TABLE Transactions(ID INTEGER PRIMARY KEY);"
                 "CREATE TABLE MANIFEST(ID INTEGER PRIMARY KEY);");
}

// Damages a database by a byte edit: every occurrence of `from` in the file
// becomes `to` (same length). The number of occurrences replaced.
inline int replaceBytes(const QString& path, const QByteArray& from, const QByteArray& to) {
  QFile f(path);
  if (from.size() != to.size() || !f.open(QIODevice::ReadWrite)) return 0;
  QByteArray bytes = f.readAll();
  const int n = int(bytes.count(from));
  bytes.replace(from, to);
  return f.seek(0) && f.write(bytes) == bytes.size() ? n : 0;
}

// The entry of a date index for `date` (text) and rowid 2..127 as SQLite
// writes it: a 3-byte header, the text, a one-byte integer (0 and 1 have
// no byte of their own).
inline QByteArray dateIndexEntry(const QByteArray& date, char rowid) {
  return QByteArray(1, 3) + char(date.size() * 2 + 13) + char(1) + date + rowid;
}

// SHA-256 of a whole file, streamed; empty when it cannot be read.
inline QByteArray fileHash(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash h(QCryptographicHash::Sha256);
  h.addData(&f);
  return h.result();
}

// Forks a child that runs `sql` on the database at `path` inside an open
// transaction with a one-page cache (so its changes reach the database file
// and its journal), then waits to be killed; the child is killed with
// SIGKILL once it has run the statements. True when the child got that far:
// the database is then left as a writer that crashed mid-write leaves it.
inline bool crashMidTransaction(const QString& path, const QString& sql, const QString& setup = QString()) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const QByteArray p = QFile::encodeName(path);
  const QByteArray s = (setup + QStringLiteral("PRAGMA cache_size=1; BEGIN; ") + sql).toUtf8();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    sqlite3* db = nullptr;
    char ok = sqlite3_open(p.constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, s.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (::write(fds[1], &ok, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  char ok = 0;
  const bool got = pid > 0 && ::read(fds[0], &ok, 1) == 1;
  ::close(fds[0]);
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  return got && ok;
}

// What became of work run in a forked child that was sent SIGKILL after
// `delayUs` microseconds.
enum class KilledWork { kForkFailed, kKilled, kFinishedOk, kFinishedFailing };

// Runs `work` in a child process, kills it after `delayUs` and reaps it.
inline KilledWork runAndKill(const std::function<bool()>& work, long delayUs) {
  const pid_t pid = ::fork();
  if (pid < 0) return KilledWork::kForkFailed;
  if (pid == 0) ::_exit(work() ? 0 : 1);
  ::usleep(useconds_t(delayUs));
  ::kill(pid, SIGKILL);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return KilledWork::kForkFailed;
  if (!WIFEXITED(status)) return KilledWork::kKilled;
  return WEXITSTATUS(status) == 0 ? KilledWork::kFinishedOk : KilledWork::kFinishedFailing;
}

}  // namespace test
