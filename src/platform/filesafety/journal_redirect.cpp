// The journal redirect over SQLite's VFS interface.
#include "platform/filesafety/journal_redirect.h"

#include <sqlite3.h>
#include <QAtomicInteger>

namespace db {

JournalRedirect::JournalRedirect(const QByteArray& journal) : m_journal(journal) {
  static QAtomicInteger<quint64> serial;
  m_base = sqlite3_vfs_find(nullptr);
  m_name = "kestrova-compaction-" + QByteArray::number(serial.fetchAndAddRelaxed(1));
  m_vfs = new sqlite3_vfs(*m_base);
  m_vfs->zName = m_name.constData();
  m_vfs->pNext = nullptr;
  m_vfs->pAppData = this;
  m_vfs->xOpen = &JournalRedirect::open;
  m_vfs->xDelete = &JournalRedirect::remove;
  m_vfs->xAccess = &JournalRedirect::access;
  sqlite3_vfs_register(m_vfs, 0);
}

JournalRedirect::~JournalRedirect() {
  sqlite3_vfs_unregister(m_vfs);
  delete m_vfs;
}

bool JournalRedirect::redirects(const char* name) const { return name && !m_journal.isEmpty() && m_journal == name; }

int JournalRedirect::open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  const auto* self = static_cast<const JournalRedirect*>(vfs->pAppData);
  if ((flags & SQLITE_OPEN_MAIN_JOURNAL) && self->redirects(name)) {
    flags = (flags & ~SQLITE_OPEN_MAIN_JOURNAL) | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_DELETEONCLOSE;
    return self->m_base->xOpen(self->m_base, nullptr, file, flags, outFlags);
  }
  return self->m_base->xOpen(self->m_base, name, file, flags, outFlags);
}

int JournalRedirect::access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
  const auto* self = static_cast<const JournalRedirect*>(vfs->pAppData);
  if (self->redirects(name)) {
    *result = 0;
    return SQLITE_OK;
  }
  return self->m_base->xAccess(self->m_base, name, flags, result);
}

int JournalRedirect::remove(sqlite3_vfs* vfs, const char* name, int syncDir) {
  const auto* self = static_cast<const JournalRedirect*>(vfs->pAppData);
  if (self->redirects(name)) return SQLITE_OK;
  return self->m_base->xDelete(self->m_base, name, syncDir);
}

}  // namespace db
