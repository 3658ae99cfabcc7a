// The error log on disk, with POSIX calls so that each record is one write.
#include "errortracking/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/core/app.h"
#include "platform/core/paths.h"
#include "platform/core/posix_io.h"
#include "platform/filesafety/files.h"

namespace logfile {
namespace {

using posix::errnoStatus;
using posix::Fd;

QByteArray nativePath(const QString& path) { return QFile::encodeName(paths::resolve(path)); }

// open(2) with O_CREAT; a log meant for the state folder makes that folder
// first when it is missing (installed, the program's folder is /usr/bin and
// the first record of a fresh account lands here).
int openCreating(const QString& path, const QByteArray& name, int flags) {
  int fd = ::open(name.constData(), flags | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0 || errno != ENOENT) return fd;
  const QString folder = QFileInfo(paths::resolve(path)).absolutePath();
  if (folder != QDir::cleanPath(stateFolder())) return fd;
  // The log holds login names: the folder is the user's own (0700).
  QDir().mkpath(QFileInfo(folder).absolutePath());
  if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) return -1;
  return ::open(name.constData(), flags | O_CREAT | O_CLOEXEC, 0666);
}

}  // namespace

QString stateFolder() {
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (!QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.local/state");
  return base + QStringLiteral("/kestrova");
}

QString defaultLogFileFor(const QString& programFolder) {
  // access(2) answers for the real user, as the write itself will be made.
  if (::access(QFile::encodeName(programFolder).constData(), W_OK | X_OK) == 0)
    return programFolder + QStringLiteral("/ErrStack.log");
  return stateFolder() + QStringLiteral("/ErrStack.log");
}

QString defaultLogFile() { return defaultLogFileFor(app::folder()); }

bool isPresent(const QString& path) { return !path.isEmpty() && files::isPresent(path); }

Status append(const QString& path, const QByteArray& record) {
  const QByteArray name = nativePath(path);
  if (name.isEmpty()) return errnoStatus(ENOENT);
  struct stat st {};
  if (::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && posix::isReadOnlyMode(st.st_mode))
    return errnoStatus(EACCES);
  Fd fd(openCreating(path, name, O_WRONLY | O_APPEND));
  if (fd.get() < 0) return errnoStatus(errno);
  if (::fstat(fd.get(), &st) != 0) return errnoStatus(errno);
  if (!S_ISREG(st.st_mode)) return errnoStatus(EINVAL);
  const off_t before = st.st_size;
  if (record.isEmpty()) return Status::Ok();

  ssize_t written;
  do {
    written = ::write(fd.get(), record.constData(), static_cast<size_t>(record.size()));
  } while (written < 0 && errno == EINTR);
  if (written == record.size()) return Status::Ok();

  // A short write leaves part of a record: take it back off, unless another
  // writer has appended behind it meanwhile.
  const int err = written < 0 ? errno : ENOSPC;
  if (written > 0 && ::fstat(fd.get(), &st) == 0 && st.st_size == before + written) {
    // The write's own error is what the caller hears, whether or not this works.
    [[maybe_unused]] const int undone = ::ftruncate(fd.get(), before);
  }
  return errnoStatus(err);
}

Status readAll(const QString& path, QByteArray* bytes) {
  const QByteArray name = nativePath(path);
  if (name.isEmpty()) return errnoStatus(ENOENT);
  int raw = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (raw < 0 && errno == ENOENT) {
    // A missing log is created empty, then read like any other.
    raw = openCreating(path, name, O_RDWR);
  }
  if (raw < 0) return errnoStatus(errno);
  Fd fd(raw);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errnoStatus(errno);
  if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
  QByteArray out;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errnoStatus(errno);
    if (n == 0) break;
    out.append(buffer, n);
  }
  *bytes = out;
  return Status::Ok();
}

Status remove(const QString& path) {
  if (path.isEmpty()) return errnoStatus(ENOENT);
  return files::removeFile(path);
}

}  // namespace logfile
