// What a purge run knows of its database since its check.
#include "purge/checked_state.h"

namespace {

CheckedStateScope* g_current = nullptr;

}  // namespace

CheckedStateScope::CheckedStateScope() : m_outer(g_current) { g_current = this; }

CheckedStateScope::~CheckedStateScope() { g_current = m_outer; }

CheckedStateScope* CheckedStateScope::current() { return g_current; }

void CheckedStateScope::checked(const db::DbFile::StateMark& mark, const QStringList& tables) {
  m_mark = mark;
  m_tables = tables;
  m_ownCommits = 0;
}

void CheckedStateScope::ownCommit() { ++m_ownCommits; }

// In rollback-journal mode every commit adds one to the header's counter,
// whoever makes it: a count that grew by exactly the run's own commits, on
// the same file, leaves no room for anyone else's.
QStringList CheckedStateScope::unchangedSince(const db::DbFile::StateMark& now) const {
  if (!m_mark || now.device != m_mark->device || now.inode != m_mark->inode) return {};
  if (now.counter != uint32_t(m_mark->counter + m_ownCommits)) return {};
  return m_tables;
}
