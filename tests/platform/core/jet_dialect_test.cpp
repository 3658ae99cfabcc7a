// Statements in the shop database's dialect as SQLite receives them.
#include <gtest/gtest.h>

#include <vector>

#include <QLocale>

#include "platform/core/db_engine.h"
#include "platform/core/jet_dialect.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

using test::LocaleScope;

QString translated(const QString& in) {
  QString out;
  const Status s = jet::translate(in, out);
  EXPECT_TRUE(s.ok()) << s.description().toStdString();
  return out;
}

TEST(JetDialect, NativePiecesPassUnchanged) {
  const QString s =
      QStringLiteral("Delete From [Payments] Where AcctNum = 'Cash #1#' And [A#B] <> 'x''#' Or X Is Null");
  EXPECT_EQ(translated(s), s);
  EXPECT_EQ(translated(QString()), QString());
}

// The dialect only translates: a comparison with a date keeps its own form,
// and each literal is found where it landed.
TEST(JetDialect, DateComparisonsAreTranslatedAsWritten) {
  LocaleScope scope("en_US");
  const QString in = QStringLiteral("Delete From [T] Where Not [Date] < #3/5/2004# Or [D2] >= #12/31/1999 13:45:00#");
  QString out;
  std::vector<jet::DateLiteral> literals;
  ASSERT_TRUE(jet::translate(in, out, &literals).ok());
  EXPECT_EQ(out, QStringLiteral("Delete From [T] Where Not [Date] < '2004-03-05' Or [D2] >= '1999-12-31 13:45:00'"));
  ASSERT_EQ(literals.size(), 2u);
  EXPECT_EQ(out.mid(literals[0].start, literals[0].length), QStringLiteral("'2004-03-05'"));
  EXPECT_EQ(out.mid(literals[1].start, literals[1].length), QStringLiteral("'1999-12-31 13:45:00'"));
  EXPECT_FALSE(jet::translate(QStringLiteral("Select #3/5/2004#, #99/99/2004#"), out, &literals).ok());
  EXPECT_TRUE(literals.empty());
}

TEST(JetDialect, UnreadableLiteralsFailWithAClearDescription) {
  LocaleScope scope("en_GB");
  const char* const bad[] = {"Delete From [T] Where [Date] < #31/02/2004#",
                             "Delete From [T] Where [Date] < #yesterday#", "Delete From [T] Where [Date] < #05/03/2004",
                             "Select ##"};
  for (const char* b : bad) {
    QString out = QStringLiteral("stale");
    const Status s = jet::translate(QString::fromLatin1(b), out);
    EXPECT_FALSE(s.ok()) << b;
    EXPECT_EQ(s.number(), jet::kErrDateLiteral) << b;
    EXPECT_TRUE(s.description().contains(QStringLiteral("date literal"))) << s.description().toStdString();
    EXPECT_TRUE(out.isEmpty());
  }
}

}  // namespace
