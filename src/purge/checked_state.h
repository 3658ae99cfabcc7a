// What a purge run knows of its database since the check before deleting:
// the state the check read, and how many commits of the run's own followed.
#pragma once

#include <cstdint>
#include <optional>

#include <QStringList>

#include "platform/filesafety/db_file.h"

// Lives for one run; the innermost one alive is the run's. Without one, or
// without a check that read one frozen state, nothing is known and the
// compacted copy is checked whole.
class CheckedStateScope {
 public:
  CheckedStateScope();
  ~CheckedStateScope();
  CheckedStateScope(const CheckedStateScope&) = delete;
  CheckedStateScope& operator=(const CheckedStateScope&) = delete;

  static CheckedStateScope* current();

  // The check passed for `tables` (with their indexes) in the state `mark`.
  void checked(const db::DbFile::StateMark& mark, const QStringList& tables);
  // One of the run's own statements committed a change to the database.
  void ownCommit();
  // The tables checked, when `now` (read under a write lock of the caller's,
  // the file in rollback-journal mode) is the checked state followed by the
  // run's own commits alone; else none.
  QStringList unchangedSince(const db::DbFile::StateMark& now) const;

 private:
  std::optional<db::DbFile::StateMark> m_mark;
  QStringList m_tables;
  uint32_t m_ownCommits = 0;
  CheckedStateScope* m_outer;
};
