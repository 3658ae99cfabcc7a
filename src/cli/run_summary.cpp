// The command line's summaries, as text and as JSON.
#include "cli/run_summary.h"

#include <QJsonArray>
#include <QLocale>
#include <QStringList>

namespace cli {
namespace {

// A count for JSON: null where it failed.
QJsonValue count(qint64 n) { return n < 0 ? QJsonValue() : QJsonValue(n); }

QString countText(qint64 n) { return n < 0 ? QStringLiteral("?") : QString::number(n); }

// A size for people: "84.1 MB"; "?" where it could not be had.
QString sizeText(qint64 bytes) {
  return bytes < 0 ? QStringLiteral("?") : QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString seconds(double s) { return QString::number(s, 'f', 2) + QStringLiteral(" s"); }

// One line of the table of counts: the table's name, then right-aligned
// columns of the given widths.
QString row(const QString& name, const QStringList& cells, const std::vector<int>& widths) {
  QString line = QStringLiteral("%1").arg(name, -14);
  for (size_t i = 0; i < widths.size(); ++i) line += QStringLiteral(" %1").arg(cells[qsizetype(i)], widths[i]);
  return line;
}

// The per-table lines of a summary: the heading `head` and a row of
// `cellsOf(table)` for each table, in columns of `widths`. The third column
// holds the archived rows; without `archived` it is left out.
template <class Table, class CellsOf>
QStringList tableLines(const std::vector<Table>& tables, QStringList head, std::vector<int> widths, bool archived,
                       CellsOf cellsOf) {
  QStringList lines;
  if (tables.empty()) return lines;
  auto fitted = [archived](auto columns) {
    if (!archived) columns.erase(columns.begin() + 2);
    return columns;
  };
  widths = fitted(widths);
  lines << row(QStringLiteral("table"), fitted(head), widths);
  for (const Table& t : tables) lines << row(shopTableName(t.table), fitted(cellsOf(t)), widths);
  return lines;
}

}  // namespace

QJsonObject toJson(const PurgeSummary& s) {
  QJsonArray tables, steps;
  for (const TableFigures& t : s.tables) {
    QJsonObject table{{"table", shopTableName(t.table)},
                      {"ok", t.ok},
                      {"rowsBefore", count(t.rows)},
                      {"removed", count(t.removed)},
                      {"keptUnreadableDate", count(t.kept)}};
    if (!s.archive.isEmpty()) table.insert(QStringLiteral("archived"), count(t.archived));
    tables.append(table);
  }
  for (const StepFigures& step : s.steps)
    steps.append(QJsonObject{{"step", step.name}, {"ok", step.ok}, {"seconds", step.seconds}});
  return QJsonObject{{"dryRun", false},
                     {"archive", s.archive.isEmpty() ? QJsonValue() : QJsonValue(s.archive)},
                     {"success", s.success},
                     {"exitStatus", s.status},
                     {"database", s.database},
                     {"cutOff", s.cutOff},
                     {"backup", QJsonObject{{"path", s.backup}, {"made", s.backupMade}, {"found", s.backupFound}}},
                     {"sizeBefore", count(s.sizeBefore)},
                     {"sizeAfter", count(s.sizeAfter)},
                     {"tables", tables},
                     {"steps", steps},
                     {"totalSeconds", s.totalSeconds}};
}

QJsonObject toJson(const DryRunSummary& s) {
  QJsonArray tables;
  for (const DryRunTable& t : s.tables) {
    QJsonObject table{{"table", shopTableName(t.table)},
                      {"rows", count(t.rows)},
                      {"wouldRemove", count(t.purgeable)},
                      {"keptUnreadableDate", count(t.kept)}};
    // Every row the purge would remove would be archived first.
    if (!s.archive.isEmpty()) table.insert(QStringLiteral("wouldArchive"), count(t.purgeable));
    tables.append(table);
  }
  return QJsonObject{
      {"dryRun", true},
      {"archive", s.archive.isEmpty() ? QJsonValue() : QJsonObject{{"path", s.archive}, {"state", s.archiveState}}},
      {"exitStatus", s.status},
      {"database", s.database},
      {"cutOff", s.cutOff},
      {"backup", QJsonObject{{"path", s.backup}, {"wouldBeMade", s.backupWanted}}},
      {"size", count(s.size)},
      {"freeSpace", count(s.freeSpace)},
      {"tables", tables}};
}

QString toText(const PurgeSummary& s) {
  QStringList lines;
  lines << (s.success ? QStringLiteral("Purge finished successfully.")
                      : QStringLiteral("Purge failed (exit status %1).").arg(s.status));
  lines << QStringLiteral("database  %1").arg(s.database);
  lines << QStringLiteral("cut-off   %1 (rows dated before it)").arg(s.cutOff);
  const QString backupState = s.backupFound  ? QStringLiteral("found")
                              : s.backupMade ? QStringLiteral("made")
                                             : QStringLiteral("not made");
  lines << QStringLiteral("backup    %1 %2").arg(backupState, s.backup);
  lines << QStringLiteral("size      %1 before, %2 after").arg(sizeText(s.sizeBefore), sizeText(s.sizeAfter));
  if (!s.archive.isEmpty()) lines << QStringLiteral("archive   %1").arg(s.archive);
  lines << tableLines(
      s.tables, {"rows before", "removed", "archived", "kept (unreadable date)"}, {12, 10, 10, 23},
      !s.archive.isEmpty(), [](const TableFigures& t) {
        return QStringList{countText(t.rows), countText(t.removed), countText(t.archived), countText(t.kept)};
      });
  QStringList times;
  for (const StepFigures& step : s.steps)
    times << step.name + QLatin1Char(' ') + seconds(step.seconds) + (step.ok ? QString() : QStringLiteral(" (failed)"));
  lines << QStringLiteral("time      %1; in all %2").arg(times.join(QStringLiteral(", ")), seconds(s.totalSeconds));
  return lines.join(QLatin1Char('\n'));
}

QString toText(const DryRunSummary& s) {
  QStringList lines;
  lines << QStringLiteral("Dry run: nothing was changed.");
  lines << QStringLiteral("database  %1").arg(s.database);
  lines << QStringLiteral("cut-off   %1 (rows dated before it)").arg(s.cutOff);
  lines << QStringLiteral("backup    %1 %2")
               .arg(s.backupWanted ? QStringLiteral("would be made:") : QStringLiteral("exists, none made:"), s.backup);
  lines << QStringLiteral("size      %1, %2 free").arg(sizeText(s.size), sizeText(s.freeSpace));
  if (!s.archive.isEmpty())
    lines << QStringLiteral("archive   the removed rows would be archived first in %1 (%2)")
                 .arg(s.archive, s.archiveState);
  lines << tableLines(
      s.tables, {"rows", "would remove", "would archive", "kept (unreadable date)"}, {12, 13, 14, 23},
      !s.archive.isEmpty(), [](const DryRunTable& t) {
        return QStringList{countText(t.rows), countText(t.purgeable), countText(t.purgeable), countText(t.kept)};
      });
  return lines.join(QLatin1Char('\n'));
}

}  // namespace cli
