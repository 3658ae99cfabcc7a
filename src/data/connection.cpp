// Connection text, result sets, statements and fields.
#include "data/connection.h"

#include "platform/core/clock.h"
#include "platform/core/liveness.h"

namespace {

// The ADO field type codes the field reader tells apart; the engine's own
// codes (db::kType...) are the same numbers where it produces them.
enum AdoType : int {
  adEmpty = db::kTypeEmpty,
  adBSTR = 8,
  adVariant = 12,
  adGUID = 72,
  adChar = 129,
  adWChar = 130,
  adVarChar = 200,
  adLongVarChar = 201,
  adVarWChar = db::kTypeVarChar,
  adLongVarWChar = db::kTypeLongVarChar,
  adDate = db::kTypeDate,
  adDBDate = 133,
  adDBTime = 134,
  adDBTimeStamp = 135,
  adBoolean = db::kTypeBoolean,
};

bool isTextType(int type) {
  switch (type) {
    case adEmpty:
    case adBSTR:
    case adVariant:
    case adGUID:
    case adChar:
    case adWChar:
    case adVarChar:
    case adLongVarChar:
    case adVarWChar:
    case adLongVarWChar:
      return true;
    default:
      return false;
  }
}

bool isDateType(int type) { return type == adDate || type == adDBDate || type == adDBTime || type == adDBTimeStamp; }

// The text with leading and trailing space characters (code 32) removed;
// other white space stays.
QString trimSpaces(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s.at(b) == QLatin1Char(' ')) ++b;
  while (e > b && s.at(e - 1) == QLatin1Char(' ')) --e;
  return s.mid(b, e - b);
}

}  // namespace

QString GetConnectionString(const QString& dbPath) {
  return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + dbPath;
}

bool OpenRecordset(const QString& dbPath, const QString& query, RecordsetRef& rs, QString& errDesc, int32_t& errNum) {
  bool result = false;
  auto own = std::make_unique<db::Recordset>();
  auto conn = std::make_unique<db::Connection>();
  // Beside a live window the query runs on a thread of its own.
  const Status failure = liveness::run([&] {
    Status s = conn->open(GetConnectionString(dbPath));
    if (s.ok() && conn->state() == db::kStateOpen) s = conn->query(query, *own);
    return s;
  });
  errNum = failure.number();
  errDesc = failure.description();
  if (errNum == 0) result = own->state() == db::kStateOpen;
  rs = std::move(own);  // the caller's object is released
  conn.reset();         // closes the connection; the row stays with `rs`
  return result;
}

bool ExecuteSql(const QString& dbPath, const QString& statement, QString& errDesc, int32_t& errNum) {
  bool result = false;
  ConnectionRef conn = std::make_unique<db::Connection>();
  const Status failure = liveness::run([&] {
    Status s = conn->open(GetConnectionString(dbPath));
    if (s.ok() && conn->state() == db::kStateOpen) s = conn->execute(statement);
    return s;
  });
  errNum = failure.number();
  errDesc = failure.description();
  if (errNum == 0) result = conn->state() == db::kStateOpen;
  CloseConnection(conn);
  return result;
}

bool CloseRecordset(RecordsetRef& rs) {
  if (!rs) return true;
  if (rs->state() == db::kStateOpen) rs->close();
  rs.reset();
  return true;
}

bool CloseConnection(ConnectionRef& conn) {
  if (!conn) return true;
  if (conn->state() == db::kStateOpen) conn->close();
  conn.reset();
  return true;
}

QVariant GetFieldValue(const db::Field& field, const QVariant& defaultValue) {
  if (!field.value.isValid()) {
    if (!defaultValue.toString().isEmpty()) return defaultValue;
    if (isTextType(field.type)) return QString();
    if (isDateType(field.type)) return sysclock::now();
    if (field.type == adBoolean) return false;
    return QVariant::fromValue<qint16>(0);
  }
  if (isTextType(field.type) && field.value.canConvert<QString>()) return trimSpaces(field.value.toString());
  return field.value;
}
