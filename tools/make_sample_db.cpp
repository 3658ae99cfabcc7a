// make-sample-db PATH [--scale N] [--seed N] [--today YYYY-MM-DD]: writes a
// sample shop database and prints the rows it wrote.
#include <cstdio>

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

#include "sampledb/command_line.h"
#include "sampledb/sample_db.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: make-sample-db PATH [--scale N] [--seed N] [--today YYYY-MM-DD]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList args = QCoreApplication::arguments().mid(1);
  sampledb::Options options;
  QString path;
  sampledb::CommandLine line(args);
  while (line.next()) {
    const QString flag = line.arg();
    bool ok = true;
    if (line.takes("--scale")) {
      options.scale = line.value().toDouble(&ok);
    } else if (line.takes("--seed")) {
      options.seed = line.value().toULongLong(&ok);
    } else if (line.takes("--today")) {
      options.today = QDate::fromString(line.value(), Qt::ISODate);
      ok = options.today.isValid();
    } else if (flag.startsWith(QLatin1String("--")) || !path.isEmpty()) {
      return usage();
    } else {
      path = flag;
    }
    if (!ok) {
      std::fprintf(stderr, "make-sample-db: bad value for %s: %s\n", qPrintable(flag), qPrintable(line.arg()));
      return 2;
    }
  }
  if (path.isEmpty()) return usage();

  QElapsedTimer timer;
  timer.start();
  const QString error = sampledb::make(path, options);
  if (!error.isEmpty()) {
    std::fprintf(stderr, "make-sample-db: %s\n", qPrintable(error));
    return 1;
  }
  const sampledb::RowCounts rows = sampledb::plannedRows(options);
  std::printf(
      "%s: %lld rows (Contacts %lld, InvoiceNumbers %lld, Payments %lld, Transactions %lld, "
      "Manifest %lld, Setup %lld), %.1f MB in %.1f s\n",
      qPrintable(path), static_cast<long long>(rows.purged() + rows.setup), static_cast<long long>(rows.contacts),
      static_cast<long long>(rows.invoiceNumbers), static_cast<long long>(rows.payments),
      static_cast<long long>(rows.transactions), static_cast<long long>(rows.manifest),
      static_cast<long long>(rows.setup), static_cast<double>(QFileInfo(path).size()) / 1e6,
      static_cast<double>(timer.elapsed()) / 1000.0);
  return 0;
}
