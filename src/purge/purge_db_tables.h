// The table purges: one delete statement per shop table for the rows older
// than the cut-off date, each failure told in a warning box.
#pragma once

#include <cstdint>

#include <optional>

#include <QDate>
#include <QString>
#include <QStringList>

// The shop tables a purge deletes from, in the order a full run purges them.
enum class ShopTable { Contacts, InvoiceNumbers, Payments, Transactions, Manifest };

// The table's name as the statements write it ("InvoiceNumbers", ...).
QString shopTableName(ShopTable table);

// What one table purge deletes: the table and the condition of its delete
// statement, and how to find the rows it keeps only because their date
// cannot be read: the bracketed date column and the rest of the condition
// ("" when the date alone decides).
struct TablePurgePlan {
  QString table;
  QString condition;
  QString dateColumn;
  QString keptFilter;
};

// The plan of the purge of `table` before `cutOffDate`, the very one the
// purge routines below run. Contacts reads DefaultShipFrom from Setup
// (GetDefaultShipFrom) to spare the shop's ship-from contact; when that read
// fails its box is shown and no contact is spared by ID. Never fails.
TablePurgePlan planTablePurge(ShopTable table, const QString& dbPath, const QDate& cutOffDate);

// Rows counted on the database at `dbPath` without changing it: all rows of
// the plan's table, the rows its delete would remove, and the rows it keeps
// because their date cannot be read. -1 when the count fails (no box).
qint64 countTableRows(const QString& dbPath, const TablePurgePlan& plan);
qint64 countPurgeableRows(const QString& dbPath, const TablePurgePlan& plan);
qint64 countUnreadableDates(const QString& dbPath, const TablePurgePlan& plan);

// What the last table purge that ran its statement counted for
// countUnreadableDates, if that purge was of `table`; given once, so a
// caller reporting the step need not read the table again.
std::optional<qint64> takeUnreadableDateCount(const QString& table);

// Rows kept because their date could not be read, told once for a whole
// run. While one of these lives, the table purges add each table's count to
// it; without one each purge tells its own count in a warning box. One run
// makes one.
class UnreadableDateReport {
 public:
  UnreadableDateReport();
  ~UnreadableDateReport();
  UnreadableDateReport(const UnreadableDateReport&) = delete;
  UnreadableDateReport& operator=(const UnreadableDateReport&) = delete;
  // One warning box with a line per table that kept such rows, in the order
  // they were purged; nothing when none did. The lines are then forgotten.
  void tell();
  // Adds one table's line ("N rows of the X table were kept ...").
  void add(const QString& line) { m_lines.append(line); }

 private:
  QStringList m_lines;
  UnreadableDateReport* m_outer;
};

// Each purge deletes the rows of its table dated before `cutOffDate` on a
// connection of its own. True when the statement ran; false after showing
// "Failed to purge <Table> table..." with the engine's description, which
// is also left in errDesc/errNum. Never throws. While an
// archive::ArchiveScope lives, the rows a delete removes are first copied
// into that archive in the delete's own transaction
// (archive::archiveAndDelete); a failure of either leaves both unchanged.

// InvoiceNumbers: every row dated before the cut-off.
bool PurgeInvoiceNumbers(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum);
// Payments: rows of account Cash dated before the cut-off.
bool PurgePayments(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum);
// Transactions: rows of account Cash dated before the cut-off.
bool PurgeTransactions(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum);
// Manifest: every shipment dated before the cut-off.
bool PurgeManifest(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum);
// Contacts last contacted before the cut-off without an AR value, and
// contacts never contacted; the shop's default ship-from contact is spared.
bool PurgeContacts(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum);

// Reads DefaultShipFrom of the first Setup row into `shipFromId` as text
// (Null reads "0", text comes trimmed; "" when nothing was read). True when
// that text starts with a number greater than 0. An unreadable Setup table
// returns false silently with the engine's errDesc/errNum.
bool GetDefaultShipFrom(const QString& dbPath, QString& shipFromId, QString& errDesc, int32_t& errNum);

// The number at the start of `text` as plain digits ("12" for "12 Or 1=1",
// "" when the text does not start with a number greater than 0).
QString leadingPositiveNumber(const QString& text);
