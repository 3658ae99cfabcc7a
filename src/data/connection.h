// The system's road to the rows of the database. Each call opens its own
// connection, does one thing and releases it.
#pragma once

#include <cstdint>
#include <memory>

#include <QString>
#include <QVariant>

#include "platform/core/db_engine.h"

// References to engine objects; none is nullptr.
using Recordset = db::Recordset;
using RecordsetRef = std::unique_ptr<db::Recordset>;
using ConnectionRef = std::unique_ptr<db::Connection>;

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" followed by `dbPath`.
QString GetConnectionString(const QString& dbPath);

// Runs `query` on the database at `dbPath` and hands its result back in
// `rs` (its first row; replacing what `rs` held), detached from any
// connection. True when the
// result set is open; false otherwise, with the engine's number and message
// in errNum/errDesc; `rs` then holds a closed result set. Never throws.
bool OpenRecordset(const QString& dbPath, const QString& query, RecordsetRef& rs, QString& errDesc, int32_t& errNum);

// Runs `statement` on the database at `dbPath` on a connection of its own.
// True when it ran (errNum 0, errDesc ""); false with the engine's number
// and message otherwise. Never throws.
bool ExecuteSql(const QString& dbPath, const QString& statement, QString& errDesc, int32_t& errNum);

// Closes an open result set and sets the reference to none; true, also for
// a reference that is already none. Never throws.
bool CloseRecordset(RecordsetRef& rs);

// Closes an open connection and sets the reference to none; true, also for
// a reference that is already none. Never throws.
bool CloseConnection(ConnectionRef& conn);

// The value of `field` with the rule for nulls: a null gives `defaultValue`,
// or, when that reads as empty text, the default of the field's type (text
// "", date the current local date-time, boolean false, otherwise 16-bit 0).
// Text values come without leading and trailing spaces. Never fails.
QVariant GetFieldValue(const db::Field& field, const QVariant& defaultValue);
