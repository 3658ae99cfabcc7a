// The run lock over flock(2) on the database's folder.
#include "platform/filesafety/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <QFile>
#include <QFileInfo>

#include "platform/core/paths.h"
#include "platform/core/posix_io.h"

namespace runlock {

const char* const kBusyText = "Another purge, restore or backup clean-up of this database is running.";

namespace {

// The folders whose lock a run of the database at `native` takes: the
// folder of its name, then that of the file a link names when it differs.
std::vector<QByteArray> foldersOf(const QByteArray& native) {
  std::vector<QByteArray> out;
  const QString name = QFile::decodeName(native);
  out.push_back(QFile::encodeName(QFileInfo(name).absolutePath()));
  char target[PATH_MAX];
  if (::realpath(native.constData(), target)) {
    const QByteArray other = QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
    char canonical[PATH_MAX];
    if (::realpath(out.front().constData(), canonical) && other != canonical) out.push_back(other);
  }
  return out;
}

}  // namespace

RunLock::~RunLock() { release(); }

RunLock::RunLock(RunLock&& other) noexcept : m_fds(std::move(other.m_fds)) { other.m_fds.clear(); }

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    release();
    m_fds = std::move(other.m_fds);
    other.m_fds.clear();
  }
  return *this;
}

Status RunLock::acquire(const QString& dbPath) {
  release();
  for (const QByteArray& folder : foldersOf(QFile::encodeName(paths::resolve(dbPath)))) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      m_fds.push_back(fd);
      continue;
    }
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      release();
      return Status::Error(EBUSY, QString::fromLatin1(kBusyText));
    }
  }
  return Status::Ok();
}

void RunLock::release() {
  for (int fd : m_fds) ::close(fd);
  m_fds.clear();
}

}  // namespace runlock
