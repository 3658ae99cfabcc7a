// One bare SQLite connection of our own, for the file's checks, locks,
// recovery, compaction and copies: extended result codes, the busy timeout,
// closed on scope exit. The shop's statements go through db_engine instead.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/core/status.h"

struct sqlite3;

namespace db {

// How long a connection waits on another's lock before it fails busy, in ms.
inline constexpr int kBusyTimeoutMs = 2000;

// One bare SQLite connection (extended codes, the busy timeout), closed on
// scope exit; for the file's own checks, lock and compaction, which run no
// statement of the shop's dialect.
class RawConnection {
 public:
  RawConnection() = default;
  ~RawConnection() { close(); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  RawConnection(RawConnection&& other) noexcept : m_db(other.m_db) { other.m_db = nullptr; }
  RawConnection& operator=(RawConnection&& other) noexcept {
    if (this != &other) {
      close();
      m_db = other.m_db;
      other.m_db = nullptr;
    }
    return *this;
  }
  // Ok when open; SQLite's code and message otherwise, left closed.
  Status open(const QByteArray& path, int flags, const char* vfs = nullptr);
  // Runs one statement with an optional text parameter; the first column of
  // its rows, joined by newlines, goes to `firstColumn` when given. Fails
  // with SQLite's extended code and message.
  Status run(const char* sql, const QByteArray* param = nullptr, QString* firstColumn = nullptr);
  // Runs one statement; the first column of each row is appended to
  // `rows`. Fails with SQLite's code and message, `prepared` (when given)
  // telling whether the statement could be prepared at all.
  Status rows(const QByteArray& sql, QStringList& rows, bool* prepared = nullptr);
  // Closes; Ok, or SQLite's failure (the handle is let go all the same).
  Status close();
  sqlite3* handle() const { return m_db; }
  // The current failure of the connection (or of `rc` when none is open).
  Status error(int rc) const;

 private:
  sqlite3* m_db = nullptr;
};

}  // namespace db
