// Writes realistic shop databases: a temporary file beside the target, filled
// in one transaction, indexed, flushed, then moved into place only if nothing
// has appeared at the target meanwhile.
#include "sampledb/sample_db.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "sampledb/table_writers.h"
#include "sampledb/text_maker.h"

namespace sampledb {

namespace {

// Rows per unit of scale; 375 in all, so scale 10000 gives 3.75 million.
constexpr double kContactsPerScale = 40;
constexpr double kInvoicesPerScale = 65;
constexpr double kPaymentsPerScale = 75;
constexpr double kTransactionsPerScale = 120;
constexpr double kManifestPerScale = 75;

std::int64_t rowsFor(double perScale, double scale) {
  const auto n = static_cast<std::int64_t>(std::llround(perScale * scale));
  return n < 1 ? 1 : n;
}

QString systemError(const QString& what, const QString& path) {
  return what + QStringLiteral(" ") + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Something (file, folder, link, even a dangling one) is at `path`.
bool occupied(const QByteArray& path) {
  struct stat st;
  return ::lstat(path.constData(), &st) == 0 || errno != ENOENT;
}

// Moves `from` to `to` unless something is at `to`; "" or what went wrong.
QString moveIntoPlace(const QByteArray& from, const QByteArray& to) {
  if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
    return systemError(QStringLiteral("Cannot move the new database to"), QString::fromLocal8Bit(to));
  // A file system without the no-replace move: a hard link refuses an
  // existing target just the same.
  if (::link(from.constData(), to.constData()) != 0)
    return systemError(QStringLiteral("Cannot move the new database to"), QString::fromLocal8Bit(to));
  ::unlink(from.constData());
  return {};
}

QString flushToDisk(const QByteArray& path) {
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const QString error = systemError(QStringLiteral("Cannot flush"), QString::fromLocal8Bit(path));
    if (fd >= 0) ::close(fd);
    return error;
  }
  ::close(fd);
  return {};
}

QString runSql(Db& db, const QString& sql) { return db.exec(sql.toUtf8().constData()); }

// Creates the tables, writes every row, creates the indexes; "" or the
// engine's message.
QString fill(Db& db, const Plan& plan) {
  // Generation only: the rollback journal stays the file's mode, syncing is
  // done once at the end, and a big page cache keeps the inserts in memory.
  const char* const kPragmas = "PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF; PRAGMA cache_size=-131072;";
  QString error = db.exec(kPragmas);
  if (error.isEmpty()) error = db.exec("BEGIN");
  for (const QString& sql : schemaSql())
    if (error.isEmpty()) error = runSql(db, sql);
  for (auto writer : {writeContacts, writeSetup, writeInvoiceNumbers, writePayments, writeTransactions, writeManifest})
    if (error.isEmpty()) error = writer(db, plan);
  for (const QString& sql : indexSql())
    if (error.isEmpty()) error = runSql(db, sql);
  if (error.isEmpty()) error = db.exec("COMMIT");
  return error;
}

}  // namespace

RowCounts plannedRows(const Options& options) {
  RowCounts counts;
  counts.contacts = rowsFor(kContactsPerScale, options.scale);
  counts.invoiceNumbers = rowsFor(kInvoicesPerScale, options.scale);
  counts.payments = rowsFor(kPaymentsPerScale, options.scale);
  counts.transactions = rowsFor(kTransactionsPerScale, options.scale);
  counts.manifest = rowsFor(kManifestPerScale, options.scale);
  counts.setup = 1;
  return counts;
}

QString make(const QString& path, const Options& options) {
  if (!std::isfinite(options.scale) || options.scale <= 0 || options.scale > 1e6)
    return QStringLiteral("The scale must be a number above 0 and at most 1000000.");
  if (options.years < 1 || options.years > 100) return QStringLiteral("The number of years must be between 1 and 100.");
  if (path.isEmpty()) return QStringLiteral("No database path given.");
  const QByteArray target = QFile::encodeName(path);
  if (occupied(target)) return QStringLiteral("Something is already there: ") + path;
  const QFileInfo info(path);
  if (!info.dir().exists()) return QStringLiteral("The folder does not exist: ") + info.path();

  Plan plan;
  plan.counts = plannedRows(options);
  plan.seed = options.seed;
  plan.span = DaySpan::before(options.today.isValid() ? options.today : QDate::currentDate(), options.years);
  Prng shopRng = streamFor(options.seed, 0);
  text::companyName(shopRng, plan.shopName);
  plan.defaultShipFrom = 1;  // the shop's own contact: no LastContactDate, no AR

  // The temporary file sits beside the target (same file system, so the
  // final move is atomic) under a hidden unique name.
  QByteArray temp = QFile::encodeName(info.dir().filePath(QStringLiteral(".") + info.fileName())) + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return systemError(QStringLiteral("Cannot create a temporary file beside"), path);
  ::fchmod(fd, 0644);
  ::close(fd);
  auto discard = [&temp] {
    ::unlink(temp.constData());
    ::unlink((temp + "-journal").constData());
  };

  Db db;
  const QString tempPath = QFile::decodeName(temp);
  QString error = db.open(tempPath);
  if (error.isEmpty()) error = fill(db, plan);
  const QString closeError = db.close();
  if (error.isEmpty()) error = closeError;
  if (error.isEmpty()) error = flushToDisk(temp);
  if (error.isEmpty()) error = moveIntoPlace(temp, target);
  if (!error.isEmpty()) {
    discard();
    return error;
  }
  return {};
}

}  // namespace sampledb
