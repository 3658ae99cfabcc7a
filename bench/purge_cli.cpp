// C of the purge bench: the command line.
#include "purge_cli.h"

#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "child_process.h"

namespace bench {

PurgeCRun runPurgeC(const QDate& cutOff) {
  PurgeCRun run;
  const ChildResult child = runChild(
      {PURGE_DATABASE, "--all", "--before", cutOff.toString(Qt::ISODate).toStdString(), "--json", "--quiet"}, true);
  run.childSeconds = child.seconds;
  run.peakRssKiB = child.maxRssKiB;
  const QJsonObject summary = QJsonDocument::fromJson(QByteArray::fromStdString(child.output)).object();
  const QString backup = summary.value("backup").toObject().value("path").toString();
  if (!backup.isEmpty()) QFile::remove(backup);
  int stepsOk = 0;
  const QJsonArray steps = summary.value("steps").toArray();
  for (const QJsonValue& step : steps) {
    run.stepsSeconds += step.toObject().value("seconds").toDouble();
    if (step.toObject().value("ok").toBool()) ++stepsOk;
  }
  run.runSeconds = summary.value("totalSeconds").toDouble();
  // Backup, check, five tables and compaction, each ok.
  run.ok = child.exitCode == 0 && stepsOk == 8 && steps.size() == 8;
  if (!run.ok) run.failure = "purge-database ended with " + std::to_string(child.exitCode) + ": " + child.errorOutput;
  return run;
}

}  // namespace bench
