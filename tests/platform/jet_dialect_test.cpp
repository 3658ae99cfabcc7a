// Statements in the shop database's dialect as SQLite receives them.
#include <gtest/gtest.h>

#include <vector>

#include <QLocale>

#include "platform/db_engine.h"
#include "platform/jet_dialect.h"
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
  const QString s = QStringLiteral("Delete From [Payments] Where AcctNum = 'Cash #1#' And [A#B] <> 'x''#' Or X Is Null");
  EXPECT_EQ(translated(s), s);
  EXPECT_EQ(translated(QString()), QString());
}

TEST(JetDialect, UnreadableLiteralsFailWithAClearDescription) {
  LocaleScope scope("en_GB");
  const char* const bad[] = {"Delete From [T] Where [Date] < #31/02/2004#", "Delete From [T] Where [Date] < #yesterday#",
                             "Delete From [T] Where [Date] < #05/03/2004", "Select ##"};
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
