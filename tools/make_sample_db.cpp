// make-sample-db PATH [--scale N] [--seed N]: writes a sample shop database.
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>

#include "sampledb/sample_db.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: make-sample-db PATH [--scale N] [--seed N]\n");
    return 2;
  }
  sampledb::Options options;
  const QString error = sampledb::make(args.first(), options);
  if (!error.isEmpty()) {
    std::fprintf(stderr, "make-sample-db: %s\n", qPrintable(error));
    return 1;
  }
  return 0;
}
