// make-sample-db PATH [--scale N] [--seed N] [--today YYYY-MM-DD]: writes a
// sample shop database and prints the rows it wrote.
#include <cstdio>

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

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
  for (int i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    bool ok = true;
    if (arg == QLatin1String("--scale") && hasValue) {
      options.scale = args[++i].toDouble(&ok);
    } else if (arg == QLatin1String("--seed") && hasValue) {
      options.seed = args[++i].toULongLong(&ok);
    } else if (arg == QLatin1String("--today") && hasValue) {
      options.today = QDate::fromString(args[++i], Qt::ISODate);
      ok = options.today.isValid();
    } else if (arg.startsWith(QLatin1String("--")) || !path.isEmpty()) {
      return usage();
    } else {
      path = arg;
    }
    if (!ok) {
      std::fprintf(stderr, "make-sample-db: bad value for %s: %s\n", qPrintable(arg),
                   qPrintable(args[i]));
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
      qPrintable(path), static_cast<long long>(rows.purged() + rows.setup),
      static_cast<long long>(rows.contacts), static_cast<long long>(rows.invoiceNumbers),
      static_cast<long long>(rows.payments), static_cast<long long>(rows.transactions),
      static_cast<long long>(rows.manifest), static_cast<long long>(rows.setup),
      static_cast<double>(QFileInfo(path).size()) / 1e6,
      static_cast<double>(timer.elapsed()) / 1000.0);
  return 0;
}
