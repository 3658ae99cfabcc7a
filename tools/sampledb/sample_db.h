// Writes realistic shop databases for the demo, the tests and the benchmarks.
#pragma once

#include <QString>

namespace sampledb {

struct Options {
  double scale = 1.0;  // 1: a few hundred rows; 10000: several million (~1 GB)
  unsigned seed = 1;
};

// Writes a new database at `path` (a real file path). Refuses, changing
// nothing, when anything exists at `path`. Returns an empty text on success,
// otherwise what went wrong.
QString make(const QString& path, const Options& options);

}  // namespace sampledb
