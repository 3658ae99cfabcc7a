// The compaction's journal redirect: a file-system shim over SQLite's own.
#pragma once

#include <QByteArray>

struct sqlite3_file;
struct sqlite3_vfs;

namespace db {

// A file-system shim over SQLite's default one for the connections of one
// compaction: the rollback journal of the destination is an anonymous,
// already-unlinked temporary file, so a compaction killed half way leaves no
// journal beside the destination. Registered under a name of its own for as
// long as it lives; its state is its own (the shim's pAppData).
class JournalRedirect {
 public:
  // Redirects `journal` (a journalName()); an empty name redirects nothing.
  explicit JournalRedirect(const QByteArray& journal);
  ~JournalRedirect();
  JournalRedirect(const JournalRedirect&) = delete;
  JournalRedirect& operator=(const JournalRedirect&) = delete;
  // The name to open connections with.
  const char* vfsName() const { return m_name.constData(); }

 private:
  static int open(sqlite3_vfs*, const char*, sqlite3_file*, int, int*);
  static int access(sqlite3_vfs*, const char*, int, int*);
  static int remove(sqlite3_vfs*, const char*, int);
  bool redirects(const char* name) const;

  QByteArray m_journal;
  QByteArray m_name;
  sqlite3_vfs* m_base = nullptr;
  sqlite3_vfs* m_vfs = nullptr;
};

}  // namespace db
