// SQLite's work starts with the AVX registers' upper halves clear, whatever
// the code before it left in them.
#include <gtest/gtest.h>

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <sqlite3.h>

#include "platform/core/db_engine.h"
#include "platform/filesafety/sqlite_handle.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

// kv_upper_in_use(): 1 while the upper halves are in use (XGETBV, ECX = 1).
void upperInUse(sqlite3_context* context, int, sqlite3_value**) {
  unsigned lo, hi;
  asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
  sqlite3_result_int(context, (lo & 4) ? 1 : 0);
}

Status registerProbe(sqlite3* db) {
  sqlite3_create_function_v2(db, "kv_upper_in_use", 0, SQLITE_UTF8, nullptr, upperInUse, nullptr, nullptr, nullptr);
  return Status::Ok();
}

// Leaves the upper half of ymm0 set, as a library built for AVX can.
void dirtyUpperHalves() { asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0"); }

TEST(VectorUnit, StatementsRunWithTheUpperHalvesClear) {
  unsigned a, b, c, d;
  if (!__get_cpuid_count(0xd, 1, &a, &b, &c, &d) || (a & 4) == 0 || !__builtin_cpu_supports("avx"))
    GTEST_SKIP() << "the processor cannot tell its register states";
  test::TempDir dir;
  const QString path = dir.file(QStringLiteral("shop.mdb"));
  ASSERT_TRUE(test::createShopDb(path));

  const db::StatementRulesScope rules(db::StatementRules{nullptr, registerProbe});
  db::Connection engine;
  ASSERT_TRUE(engine.open(QStringLiteral("Data Source=") + path).ok());
  db::Recordset rs;
  dirtyUpperHalves();
  ASSERT_TRUE(engine.query(QStringLiteral("Select kv_upper_in_use() As Seen"), rs).ok());
  db::Field seen;
  ASSERT_TRUE(rs.field(QStringLiteral("Seen"), seen).ok());
  EXPECT_EQ(seen.value.toInt(), 0) << "through the engine";

  db::RawConnection raw;
  ASSERT_TRUE(raw.open(path.toUtf8(), SQLITE_OPEN_READONLY).ok());
  registerProbe(raw.handle());
  QString rawSeen;
  dirtyUpperHalves();
  ASSERT_TRUE(raw.run("SELECT kv_upper_in_use()", nullptr, &rawSeen).ok());
  EXPECT_EQ(rawSeen, QStringLiteral("0")) << "through a bare connection";
}

}  // namespace

#endif
