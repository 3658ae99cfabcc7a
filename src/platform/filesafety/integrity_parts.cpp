// The integrity check in parts, over the SQLite C API and std::thread.
#include "platform/filesafety/integrity_parts.h"

#include <sched.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/filesafety/sqlite_handle.h"

namespace integrity {
namespace {

QByteArray quoted(const QString& name) {
  QString q = name;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return '"' + q.toUtf8() + '"';
}

// Opens `reader`; with `freeze` its read transaction begins here and lasts
// until it closes.
Status openReader(const Target& target, db::RawConnection& reader) {
  if (Status s = reader.open(target.nativePath, target.flags, target.vfs); !s.ok()) return s;
  if (!target.freeze) return Status::Ok();
  if (Status s = reader.run("BEGIN"); !s.ok()) return s;
  return reader.run("SELECT count(*) FROM sqlite_schema");
}

// Opens every reader; with `freeze` under a write lock of a connection of
// their own, let go once they all read. `lockMissing` tells a lock that
// could not be had.
Status openReaders(const Target& target, std::vector<db::RawConnection>& readers, bool& lockMissing,
                   const std::function<void()>& whileFrozen) {
  db::RawConnection lock;
  if (target.freeze) {
    const int flags = (target.flags & ~(SQLITE_OPEN_READONLY | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READWRITE;
    Status s = lock.open(target.nativePath, flags, target.vfs);
    if (s.ok()) s = lock.run("BEGIN IMMEDIATE");
    if (!s.ok()) {
      lockMissing = true;
      return s;
    }
  }
  for (db::RawConnection& reader : readers)
    if (Status s = openReader(target, reader); !s.ok()) return s;
  if (target.freeze && whileFrozen) whileFrozen();
  if (target.freeze) lock.run("ROLLBACK");
  return lock.close();
}

// What `sql` answers on `c`, one finding a line; `failure` set when
// the statement cannot be prepared.
QStringList answer(db::RawConnection& c, const QByteArray& sql, Status& failure) {
  QStringList lines;
  bool prepared = false;
  const Status s = c.rows(sql, lines, &prepared);
  if (!s.ok() && !prepared) {
    failure = s;
    return {};
  }
  if (!s.ok()) lines << s.description();
  // The page and tree findings come as one row of lines under "*** in
  // database main ***"; "ok" and that heading say nothing.
  QStringList found;
  for (const QString& row : lines)
    for (const QString& line : row.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
      if (line != QLatin1String("ok") && !line.startsWith(QLatin1String("*** in database"))) found << line;
  return found;
}

// How much lower a helper thread runs than the thread that started it.
constexpr int kHelperNice = 10;

// Lowers the calling thread's priority (Linux gives each thread its own
// nice value): with every processor checking, the window's thread must
// still get one the moment it has events.
void yieldToOthers() {
  const id_t self = id_t(::gettid());
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, self);
  if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, nice + kHelperNice));
}

}  // namespace

Part tablePart(db::RawConnection& c, const QString& table) {
  const QByteArray name = quoted(table);
  QString largest;
  const bool rowid = c.run(QByteArray("SELECT max(rowid) FROM " + name).constData(), nullptr, &largest).ok();
  return Part{"PRAGMA integrity_check(" + name + ")", rowid ? largest.toLongLong() : 0};
}

int availableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

Status runParts(const Target& target, const QList<Part>& parts, int threads, QList<QStringList>& lines,
                bool* lockMissing, const std::function<void()>& whileFrozen) {
  lines.clear();
  bool missing = false;
  if (lockMissing) *lockMissing = false;
  if (parts.isEmpty()) return Status::Ok();
  std::vector<qsizetype> order(size_t(parts.size()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](qsizetype a, qsizetype b) { return parts[a].weight > parts[b].weight; });
  std::vector<db::RawConnection> readers(size_t(std::clamp<qsizetype>(threads, 1, parts.size())));
  if (Status s = openReaders(target, readers, missing, whileFrozen); !s.ok()) {
    if (lockMissing) *lockMissing = missing;
    return s;
  }
  std::vector<QStringList> answers(order.size());
  std::vector<Status> failures(order.size());
  std::atomic<size_t> next{0};
  auto work = [&](db::RawConnection& c, size_t i) {
    for (; i < order.size(); i = next++)
      answers[size_t(order[i])] = answer(c, parts[order[i]].sql, failures[size_t(order[i])]);
  };
  // The largest part is this thread's: the helpers yield to others.
  const size_t first = next++;
  std::vector<std::thread> helpers;
  // A thread the system will not start leaves its parts to the others.
  for (size_t w = 1; w < readers.size(); ++w) {
    try {
      helpers.emplace_back([&work, &next, &reader = readers[w]] {
        yieldToOthers();
        work(reader, next++);
      });
    } catch (const std::system_error&) {
      break;
    }
  }
  work(readers[0], first);
  for (std::thread& helper : helpers) helper.join();
  for (const Status& failure : failures)
    if (!failure.ok()) return failure;
  lines = QList<QStringList>(answers.begin(), answers.end());
  return Status::Ok();
}

Status checkWhole(const Target& target, int threads, QStringList& findings, const QStringList& verified) {
  findings.clear();
  const Part whole{"PRAGMA integrity_check", 0};
  QList<Part> parts;
  if (threads > 1 || !verified.isEmpty()) {
    db::RawConnection c;
    QStringList tables;
    Status s = c.open(target.nativePath, target.flags, target.vfs);
    if (s.ok()) s = c.rows("SELECT name FROM sqlite_schema WHERE type = 'table'", tables);
    if (!s.ok()) return s;
    qint64 all = 0;
    for (const QString& table : tables) {
      if (verified.contains(table, Qt::CaseInsensitive)) continue;
      parts << tablePart(c, table);
      all += parts.back().weight;
    }
    parts << Part{"PRAGMA quick_check", all + 1};
  } else {
    parts << whole;
  }
  QList<QStringList> lines;
  bool lockMissing = false;
  Status s = runParts(target, parts, threads, lines, &lockMissing);
  if (lockMissing) {
    Target alone = target;
    alone.freeze = false;
    s = runParts(alone, {whole}, 1, lines);
  }
  if (!s.ok()) return s;
  for (const QStringList& part : lines) findings << part;
  return Status::Ok();
}

}  // namespace integrity
