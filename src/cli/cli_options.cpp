// The command line's options and their parsing.
#include "cli/cli_options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

#include "purge/purge_archive.h"
#include "purge/purge_db_files.h"

namespace cli {
namespace {

// The requests an option goes with, as bits.
enum Uses : unsigned {
  kPurge = 1,
  kList = 2,
  kRestore = 4,
  kUnarchive = 8,
  kAny = kPurge | kList | kRestore | kUnarchive
};

// One option: its names, the name of its value ("" for a switch), its help,
// and the requests it goes with. Giving an option that `selects` asks for
// the one request of its `uses`; with none of them the request is a purge.
struct OptionDef {
  QStringList names;
  QString valueName;
  QString help;
  unsigned uses = kPurge;
  bool selects = false;  // giving it asks for the request in `uses`
};

// Every option of the command line, in the order --help lists them.
const std::vector<OptionDef>& optionTable() {
  static const std::vector<OptionDef> table = {
      {{"before"},
       "YYYY-MM-DD",
       "remove the rows dated before this day (with --unarchive: put back those)",
       kPurge | kUnarchive},
      {{"older-than"}, "N{d|m|y}", "remove rows older than N days, calendar months or years"},
      {{"contacts"},
       "",
       "purge contacts last contacted before the cut-off or never contacted, but not account holders nor the shop's "
       "own",
       kPurge | kUnarchive},
      {{"invoices"}, "", "purge invoices, their cash payments and transactions", kPurge | kUnarchive},
      {{"shipments"}, "", "purge shipments (the Manifest table)", kPurge | kUnarchive},
      {{"all"}, "", "purge contacts, invoices and shipments", kPurge | kUnarchive},
      {{"database"}, "PATH", "the database file (default C:\\kestrova\\kestrova.mdb)", kAny},
      {{"dry-run"}, "", "change nothing; report what a purge would remove"},
      {{"json"}, "", "write the summary as one JSON object", kAny},
      {{"quiet"}, "", "no progress lines"},
      {{"archive"}, "", "copy the removed rows into the archive kvarchive.mdb beside the database first"},
      {{"archive-file"},
       "FILE",
       "the archive to use instead of kvarchive.mdb (on a purge: archive into it)",
       kPurge | kList | kUnarchive},
      {{"unarchive"},
       "",
       "put archived rows back: with --before or --all-archived; the table switches pick the tables (none: all)",
       kUnarchive,
       true},
      {{"all-archived"}, "", "with --unarchive: every archived row", kUnarchive},
      {{"keep-backups"}, "N", "after a successful purge, remove the backups beyond the newest N"},
      {{"list-backups"}, "", "list the backups beside the database, newest first, and check them", kList, true},
      {{"verify"}, "", "with --list-backups: the thorough integrity check", kList},
      {{"restore"},
       "DATE|FILE",
       "put a backup in place of the database (the current one is kept); DATE is DDMMYYYY or YYYY-MM-DD",
       kRestore,
       true},
      {{"h", "help"}, "", "show this help and exit", kAny},
      {{"version"}, "", "show the version and exit", kAny},
  };
  return table;
}

// The cut-off of "--older-than N{d|m|y}" counted back from `today`; an
// invalid date when the text is malformed.
QDate olderThan(const QString& text, const QDate& today) {
  static const QRegularExpression form(QStringLiteral("^([0-9]{1,6})([dmy])$"));
  const QRegularExpressionMatch m = form.match(text);
  if (!m.hasMatch()) return QDate();
  const int n = m.captured(1).toInt();
  switch (m.captured(2).at(0).toLatin1()) {
    case 'd':
      return today.addDays(-n);
    case 'm':
      return today.addMonths(-n);
    default:
      return today.addYears(-n);
  }
}

// The request the options select into `uses` (kPurge when none does); the
// usage error, or "", when two options select a request or an option is
// given that does not go with the selected one.
QString requestOf(const QCommandLineParser& parser, unsigned& uses) {
  const OptionDef* selector = nullptr;
  for (const OptionDef& def : optionTable()) {
    if (!def.selects || !parser.isSet(def.names.last())) continue;
    if (selector)
      return QStringLiteral("give either --%1 or --%2, not both").arg(selector->names.last(), def.names.last());
    selector = &def;
  }
  uses = selector ? selector->uses : unsigned(kPurge);
  for (const OptionDef& def : optionTable()) {
    if ((def.uses & uses) || !parser.isSet(def.names.last())) continue;
    if (selector) return QStringLiteral("--%1 does not go with --%2").arg(def.names.last(), selector->names.last());
    for (const OptionDef& other : optionTable())
      if (other.selects && (other.uses & def.uses))
        return QStringLiteral("--%1 goes with --%2").arg(def.names.last(), other.names.last());
  }
  return QString();
}

// The cut-off of --before or --older-than into `cutOff`; the usage error, or "".
QString cutOffOf(const QCommandLineParser& parser, const QDate& today, QDate& cutOff) {
  const bool before = parser.isSet(QStringLiteral("before"));
  const bool older = parser.isSet(QStringLiteral("older-than"));
  if (before == older)
    return before ? QStringLiteral("give either --before or --older-than, not both")
                  : QStringLiteral("a purge needs a cut-off: --before YYYY-MM-DD or --older-than N{d|m|y}");
  if (before) {
    const QString text = parser.value(QStringLiteral("before"));
    static const QRegularExpression isoDay(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    cutOff = isoDay.match(text).hasMatch() ? QDate::fromString(text, Qt::ISODate) : QDate();
    if (!cutOff.isValid()) return QStringLiteral("--before wants a date YYYY-MM-DD, not '%1'").arg(text);
  } else {
    const QString text = parser.value(QStringLiteral("older-than"));
    cutOff = olderThan(text, today);
    if (!cutOff.isValid())
      return QStringLiteral("--older-than wants a number and d, m or y (e.g. 24m), not '%1'").arg(text);
  }
  // Before the year 1 a date has no ISO text, so no row could be compared with it.
  if (cutOff.year() < 1) return QStringLiteral("the cut-off goes back before the year 1");
  if (cutOff > today) return QStringLiteral("the cut-off %1 is after today").arg(cutOff.toString(Qt::ISODate));
  return QString();
}

// `text` as a path: a drive path ("C:\...") kept for the drive mapping,
// anything else made absolute against the current folder.
QString pathOf(const QString& text) {
  static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
  return drive.match(text).hasMatch() ? text : QDir::cleanPath(QDir::current().absoluteFilePath(text));
}

// The archive a request of `uses` works with: --archive-file, else the one
// beside the database; on a purge only when --archive or --archive-file is
// given ("" otherwise). The usage error, or "".
QString archiveOf(const QCommandLineParser& parser, unsigned uses, Request& r) {
  const bool named = parser.isSet(QStringLiteral("archive-file"));
  if (named && parser.value(QStringLiteral("archive-file")).isEmpty())
    return QStringLiteral("--archive-file wants a file path");
  if (uses == kPurge && !named && !parser.isSet(QStringLiteral("archive"))) return QString();
  r.archive = named ? pathOf(parser.value(QStringLiteral("archive-file"))) : archive::archivePathFor(r.dbPath);
  return QString();
}

// The tables of --contacts, --invoices, --shipments, --all.
PurgeSelection selectionOf(const QCommandLineParser& parser) {
  const bool all = parser.isSet(QStringLiteral("all"));
  PurgeSelection selection;
  selection.contacts = all || parser.isSet(QStringLiteral("contacts"));
  selection.invoices = all || parser.isSet(QStringLiteral("invoices"));
  selection.shipments = all || parser.isSet(QStringLiteral("shipments"));
  return selection;
}

// --unarchive: --before or --all-archived, and the tables (none: all).
QString unarchiveOf(const QCommandLineParser& parser, const QDate& today, Request& r) {
  r.command = Command::Unarchive;
  r.allArchived = parser.isSet(QStringLiteral("all-archived"));
  if (r.allArchived == parser.isSet(QStringLiteral("before")))
    return r.allArchived ? QStringLiteral("give either --before or --all-archived, not both")
                         : QStringLiteral("--unarchive needs --before YYYY-MM-DD or --all-archived");
  if (!r.allArchived)
    if (QString error = cutOffOf(parser, today, r.cutOff); !error.isEmpty()) return error;
  r.selection = selectionOf(parser);
  if (!r.selection.contacts && !r.selection.invoices && !r.selection.shipments)
    r.selection = PurgeSelection{true, true, true};
  return QString();
}

// Reads `arguments` into `parser`; the usage error, or "": an unknown
// option, a missing value, an argument that is no option, a value given twice.
QString readArguments(QCommandLineParser& parser, const QStringList& arguments) {
  for (const OptionDef& def : optionTable()) parser.addOption(QCommandLineOption(def.names, def.help, def.valueName));
  if (!parser.parse(QStringList{QStringLiteral("purge-database")} + arguments)) return parser.errorText();
  if (!parser.positionalArguments().isEmpty())
    return QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
  for (const OptionDef& def : optionTable())
    if (!def.valueName.isEmpty() && parser.values(def.names.first()).size() > 1)
      return QStringLiteral("--%1 given more than once").arg(def.names.last());
  return QString();
}

// A purge's own options into `r`; the usage error, or "".
QString purgeOf(const QCommandLineParser& parser, const QDate& today, Request& r) {
  if (parser.isSet(QStringLiteral("keep-backups"))) {
    bool number = false;
    r.keepBackups = parser.value(QStringLiteral("keep-backups")).toInt(&number);
    if (!number || r.keepBackups < 1)
      return QStringLiteral("--keep-backups wants a whole number of at least 1, not '%1'")
          .arg(parser.value(QStringLiteral("keep-backups")));
  }
  if (QString error = cutOffOf(parser, today, r.cutOff); !error.isEmpty()) return error;
  r.selection = selectionOf(parser);
  r.dryRun = parser.isSet(QStringLiteral("dry-run"));
  r.quiet = parser.isSet(QStringLiteral("quiet"));
  return QString();
}

// Everything but --help and --version into `r`; the usage error, or "".
QString requestInto(const QCommandLineParser& parser, const QDate& today, Request& r) {
  r.dbPath = defaultDatabasePath();
  if (parser.isSet(QStringLiteral("database"))) {
    const QString path = parser.value(QStringLiteral("database"));
    if (path.isEmpty()) return QStringLiteral("--database wants a file path");
    // A "C:\..." path goes through the drive mapping as the program's own.
    r.dbPath = pathOf(path);
  }
  r.json = parser.isSet(QStringLiteral("json"));

  unsigned uses = kPurge;
  if (QString error = requestOf(parser, uses); !error.isEmpty()) return error;
  if (QString error = archiveOf(parser, uses, r); !error.isEmpty()) return error;
  if (uses == kUnarchive) return unarchiveOf(parser, today, r);
  // The backup commands stand alone: no cut-off, nothing to purge.
  if (uses != kPurge) {
    r.command = uses == kList ? Command::ListBackups : Command::Restore;
    r.verify = parser.isSet(QStringLiteral("verify"));
    r.restore = parser.value(QStringLiteral("restore"));
    return QString();
  }
  return purgeOf(parser, today, r);
}

}  // namespace

ParseResult parseArguments(const QStringList& arguments, const QDate& today) {
  ParseResult result;
  QCommandLineParser parser;
  result.error = readArguments(parser, arguments);
  if (!result.error.isEmpty()) return result;
  Request& r = result.request;
  if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
    r.command = parser.isSet(QStringLiteral("help")) ? Command::Help : Command::Version;
    result.ok = true;
    return result;
  }
  result.error = requestInto(parser, today, r);
  result.ok = result.error.isEmpty();
  return result;
}

QString helpText() {
  QString text = QStringLiteral(
      "Usage: purge-database [OPTION]...\n"
      "       purge-database --list-backups [--verify] [--json] [--database PATH]\n"
      "       purge-database --restore DDMMYYYY|YYYY-MM-DD|FILE [--json] [--database PATH]\n"
      "       purge-database --unarchive --before YYYY-MM-DD|--all-archived [--contacts|--invoices|--shipments]\n"
      "Without options, opens the Purge Database window.\n"
      "With options, purges the shop database without a window: makes the day's backup\n"
      "(kvbackupDDMMYYYY.mdb beside the database) unless it exists, deletes the chosen\n"
      "history dated before the cut-off, compacts the file and prints a summary.\n"
      "None of --contacts, --invoices, --shipments, --all: backup and compaction only.\n\n");
  for (const OptionDef& def : optionTable()) {
    QStringList names;
    for (const QString& n : def.names) names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    QString left = names.join(QStringLiteral(", "));
    if (!def.valueName.isEmpty()) left += QLatin1Char(' ') + def.valueName;
    text += QStringLiteral("  %1 %2\n").arg(left, -22).arg(def.help);
  }
  text += QStringLiteral(
      "\nExit status:\n"
      "  0  the purge finished successfully\n"
      "  1  a step failed (\"Purge has failed to complete...\")\n"
      "  2  usage error\n"
      "  3  stopped before any change: another program has the database open for writing\n"
      "  4  the database is missing or is not a database (nothing changed)\n"
      "\nDrive C: is the folder $KESTROVA_DRIVE_C, else $XDG_DATA_HOME/kestrova/drive_c\n"
      "(~/.local/share/kestrova/drive_c).\n");
  return text;
}

}  // namespace cli
