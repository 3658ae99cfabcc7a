// The command line's parser: the requests it makes of good arguments and
// the usage errors it refuses, against a fixed today.
#include <gtest/gtest.h>
#include <QDir>

#include "cli/cli_options.h"

namespace {

const QDate kToday(2026, 12, 7);

cli::ParseResult parse(const QStringList& args) { return cli::parseArguments(args, kToday); }

TEST(CliOptions, CutOffsCountBackFromTodayInDaysCalendarMonthsAndYears) {
  struct Case {
    QStringList args;
    QDate cutOff;
  };
  const Case cases[] = {
      {{"--older-than", "24m"}, QDate(2024, 12, 7)},   {{"--older-than=90d"}, QDate(2026, 9, 8)},
      {{"--older-than", "2y"}, QDate(2024, 12, 7)},    {{"--older-than", "0d"}, kToday},
      {{"--before", "2004-03-05"}, QDate(2004, 3, 5)}, {{"--before", "2026-12-07"}, kToday},
  };
  for (const Case& c : cases) {
    const cli::ParseResult r = parse(c.args);
    ASSERT_TRUE(r.ok) << c.args.join(' ').toStdString() << ": " << r.error.toStdString();
    EXPECT_EQ(r.request.cutOff, c.cutOff) << c.args.join(' ').toStdString();
  }
  // A calendar month back from the 31st lands on the month's last day.
  EXPECT_EQ(cli::parseArguments({"--older-than", "1m"}, QDate(2026, 3, 31)).request.cutOff, QDate(2026, 2, 28));
}

TEST(CliOptions, TheOptionsChooseTablesDatabaseAndOutput) {
  const cli::ParseResult none = parse({"--before", "2004-03-05"});
  ASSERT_TRUE(none.ok);
  EXPECT_FALSE(none.request.selection.contacts || none.request.selection.invoices || none.request.selection.shipments);
  EXPECT_EQ(none.request.dbPath, QStringLiteral("C:\\kestrova\\kestrova.mdb"));
  EXPECT_FALSE(none.request.dryRun || none.request.json || none.request.quiet);

  const cli::ParseResult all =
      parse({"--all", "--before", "2004-03-05", "--dry-run", "--json", "--quiet", "--database", "shop/kestrova.mdb"});
  ASSERT_TRUE(all.ok);
  EXPECT_TRUE(all.request.selection.contacts && all.request.selection.invoices && all.request.selection.shipments);
  EXPECT_TRUE(all.request.dryRun && all.request.json && all.request.quiet);
  EXPECT_EQ(all.request.dbPath, QDir::current().absoluteFilePath(QStringLiteral("shop/kestrova.mdb")));

  EXPECT_EQ(parse({"--before", "2004-03-05", "--database", "c:\\shop\\kv.mdb"}).request.dbPath,
            QStringLiteral("c:\\shop\\kv.mdb"));
  // Outside a drive path a backslash belongs to the file's name.
  EXPECT_EQ(parse({"--before", "2004-03-05", "--database", "odd\\name.mdb"}).request.dbPath,
            QDir::current().absoluteFilePath(QStringLiteral("odd\\name.mdb")));

  const cli::ParseResult one = parse({"--invoices", "--older-than", "1y"});
  ASSERT_TRUE(one.ok);
  EXPECT_TRUE(one.request.selection.invoices);
  EXPECT_FALSE(one.request.selection.contacts || one.request.selection.shipments);

  EXPECT_EQ(parse({"--help", "--bogus-free"}).ok, false) << "an unknown option is refused even beside --help";
  EXPECT_EQ(parse({"--version"}).request.command, cli::Command::Version);
  EXPECT_EQ(parse({"-h"}).request.command, cli::Command::Help);
}

TEST(CliOptions, UsageErrorsAreRefusedWithAMessage) {
  const QStringList bad[] = {
      {"--bogus"},
      {"stray", "--before", "2004-03-05"},
      {"--all"},
      {"--before", "2004-03-05", "--older-than", "1y"},
      {"--before"},
      {"--before", "2004-02-30"},
      {"--before", "5.3.2004"},
      {"--before", "2026-12-08"},
      {"--before", "2004-03-05", "--before", "2004-03-06"},
      {"--older-than", "24w"},
      {"--older-than", "-3d"},
      {"--older-than", "m"},
      {"--older-than", "9999y"},
      {"--before", "2004-03-05", "--database", ""},
      {"--before", "2004-03-05", "--keep-backups", "0"},
      {"--before", "2004-03-05", "--keep-backups", "two"},
      {"--before", "2004-03-05", "--verify"},
      {"--list-backups", "--all"},
      {"--list-backups", "--restore", "01012004"},
      {"--restore", "01012004", "--verify"},
      {"--restore", "01012004", "--dry-run"},
      {"--unarchive"},
      {"--unarchive", "--before", "2004-03-05", "--all-archived"},
      {"--unarchive", "--older-than", "2y"},
      {"--unarchive", "--all-archived", "--dry-run"},
      {"--unarchive", "--all-archived", "--restore", "01012004"},
      {"--all-archived", "--before", "2004-03-05"},
      {"--before", "2004-03-05", "--archive-file", ""},
  };
  for (const QStringList& args : bad) {
    const cli::ParseResult r = parse(args);
    EXPECT_FALSE(r.ok) << args.join(' ').toStdString();
    EXPECT_FALSE(r.error.isEmpty()) << args.join(' ').toStdString();
  }
}

TEST(CliOptions, ArchiveOptionsNameTheArchiveAndTheRowsToPutBack) {
  EXPECT_TRUE(parse({"--before", "2004-03-05", "--all"}).request.archive.isEmpty());
  EXPECT_EQ(parse({"--before", "2004-03-05", "--archive", "--database", "/srv/k.mdb"}).request.archive,
            "/srv/kvarchive.mdb");
  // Naming the file asks for archiving too.
  EXPECT_EQ(parse({"--before", "2004-03-05", "--archive-file", "/keep/rows.mdb"}).request.archive, "/keep/rows.mdb");

  const cli::ParseResult undo = parse({"--unarchive", "--before", "2004-03-05", "--invoices"});
  ASSERT_TRUE(undo.ok) << undo.error.toStdString();
  EXPECT_EQ(undo.request.command, cli::Command::Unarchive);
  EXPECT_EQ(undo.request.cutOff, QDate(2004, 3, 5));
  EXPECT_FALSE(undo.request.allArchived || undo.request.selection.contacts || undo.request.selection.shipments);
  // No table switch: every table.
  const cli::ParseResult all = parse({"--unarchive", "--all-archived"});
  ASSERT_TRUE(all.ok && all.request.allArchived);
  EXPECT_TRUE(all.request.selection.contacts && all.request.selection.invoices && all.request.selection.shipments);
}

TEST(CliOptions, HelpListsEveryOptionAndTheExitStatus) {
  const QString help = cli::helpText();
  for (const char* option :
       {"--before",  "--older-than", "--contacts", "--invoices",     "--shipments", "--all",          "--database",
        "--dry-run", "--json",       "--quiet",    "--help",         "--version",   "--keep-backups", "--list-backups",
        "--verify",  "--restore",    "--archive",  "--archive-file", "--unarchive", "--all-archived"})
    EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
  for (const char* status : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  "})
    EXPECT_TRUE(help.contains(QLatin1String(status))) << status;
}

}  // namespace
