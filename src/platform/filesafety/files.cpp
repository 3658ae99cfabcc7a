// The file-system layer: presence, deletion, crash-safe kernel copy and
// in-use detection through /proc.
#include "platform/filesafety/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sqlite3.h>
#include <QFile>
#include <QFileInfo>

#include "platform/core/paths.h"
#include "platform/core/posix_io.h"
#include "platform/filesafety/db_file.h"

namespace files {

using db::DbFile;
using posix::errnoStatus;
using posix::Fd;

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(paths::resolve(path)); }

}  // namespace

int kernelCopy(int in, int out) {
  if (::ioctl(out, FICLONE, in) == 0) return 0;
  constexpr size_t kChunk = size_t(1) << 30;
  bool copied = false;
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
    if (n > 0) {
      copied = true;
      continue;
    }
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    if (!copied && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) break;
    return errno;
  }
  for (;;) {
    const ssize_t n = ::sendfile(out, in, nullptr, kChunk);
    if (n > 0) continue;
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    return errno;
  }
}

bool isPresent(const QString& path) {
  const QByteArray p = native(path);
  const QString name = QFileInfo(QFile::decodeName(p)).fileName();
  if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) return false;
  struct stat st;
  return ::stat(p.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

Status lookUp(const QString& path, bool& present) {
  present = false;
  struct stat st;
  if (::stat(native(path).constData(), &st) != 0 && errno != ENOENT && errno != ENOTDIR)
    return posix::errnoStatus(errno);
  present = isPresent(path);
  return Status::Ok();
}

bool isReadOnly(const QString& path) {
  struct stat st;
  return ::stat(native(path).constData(), &st) == 0 && posix::isReadOnlyMode(st.st_mode);
}

bool isInUse(const QString& path) { return !DbFile(path).useStatus().ok(); }

Status useStatus(const QString& path) { return DbFile(path).useStatus(); }

static Status writerStatusOf(const DbFile& file) {
  if (Status s = file.useStatus(); !s.ok()) return s;
  return file.hasLiveSidecar() ? inUseStatus() : Status::Ok();
}

Status writerStatus(const QString& path) { return writerStatusOf(DbFile(path)); }

bool beginsAsDatabase(const QString& path) { return DbFile(path).beginsAsDatabase(); }

bool hasLiveSidecar(const QString& path) { return DbFile(path).hasLiveSidecar(); }

QString copyTempPath(const QString& destination) {
  const QFileInfo info(paths::resolve(destination));
  return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".kvcopy");
}

Status removeFile(const QString& path) {
  const QByteArray p = native(path);
  struct stat st;
  if (::lstat(p.constData(), &st) != 0) return errnoStatus(errno);
  if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
  if (S_ISREG(st.st_mode)) {
    if (posix::isReadOnlyMode(st.st_mode)) return errnoStatus(EACCES);
    if (db::writtenElsewhere(st.st_dev, st.st_ino)) return inUseStatus();
  }
  if (::unlink(p.constData()) != 0) return errnoStatus(errno);
  return Status::Ok();
}

namespace {

// The source of a copy, read through a descriptor of its own or, while this
// process holds the file open, through an SQLite connection of its own:
// SQLite keeps such a connection's descriptor open until this process's last
// lock on the file goes, so those locks stay.
class CopySource {
 public:
  // Opens `path`, a regular file found as `expected` (device, inode).
  Status open(const QByteArray& path, const struct stat& expected) {
    m_path = path;
    if (!db::openHere(expected.st_dev, expected.st_ino)) {
      // Opened without blocking: a FIFO or device is refused, never waited on.
      m_fd.reset(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
      if (!m_fd.valid()) return errnoStatus(errno);
      struct stat st;
      if (::fstat(m_fd.get(), &st) != 0) return errnoStatus(errno);
      if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
      if (!S_ISREG(st.st_mode) || st.st_dev != expected.st_dev || st.st_ino != expected.st_ino)
        return errnoStatus(EINVAL);
      ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) & ~O_NONBLOCK);
      return Status::Ok();
    }
    if (Status s = m_connection.open(path, SQLITE_OPEN_READONLY); !s.ok()) return s;
    if (sqlite3_file_control(m_connection.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &m_file) != SQLITE_OK ||
        !m_file || !m_file->pMethods)
      return Status::Error(SQLITE_CANTOPEN, QStringLiteral("unable to open database file"));
    // The name may have been given to another file meanwhile.
    struct stat st;
    if (::stat(path.constData(), &st) != 0) return errnoStatus(errno);
    if (!S_ISREG(st.st_mode) || st.st_dev != expected.st_dev || st.st_ino != expected.st_ino)
      return errnoStatus(EINVAL);
    return Status::Ok();
  }

  // The source's stamp: db::readStamp's, read through SQLite when held.
  Status stamp(db::DbStamp& out) const {
    if (m_fd.valid()) return db::readStamp(m_fd.get(), out);
    out = db::DbStamp();
    struct stat st;
    if (::stat(m_path.constData(), &st) != 0) return errnoStatus(errno);
    out.size = st.st_size;
    out.mtime = st.st_mtim;
    unsigned char head[28];
    const int rc = m_file->pMethods->xRead(m_file, head, int(sizeof head), 0);
    if (rc == SQLITE_IOERR_SHORT_READ) return Status::Ok();
    if (rc != SQLITE_OK) return Status::Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
    if (std::memcmp(head, db::kSqliteMagic, sizeof db::kSqliteMagic) != 0) return Status::Ok();
    out.database = true;
    out.counter = db::changeCounterOf(head);
    return Status::Ok();
  }

  // Copies the whole source to `out`: 0 or an errno (EIO for SQLite's failures).
  int copyTo(int out) const {
    if (m_fd.valid()) return kernelCopy(m_fd.get(), out);
    sqlite3_int64 size = 0;
    if (m_file->pMethods->xFileSize(m_file, &size) != SQLITE_OK) return EIO;
    constexpr sqlite3_int64 kChunk = sqlite3_int64(1) << 20;
    QByteArray buffer(int(kChunk), Qt::Uninitialized);
    for (sqlite3_int64 at = 0; at < size;) {
      const int n = int(std::min(kChunk, size - at));
      if (m_file->pMethods->xRead(m_file, buffer.data(), n, at) != SQLITE_OK) return EIO;
      for (int done = 0; done < n;) {
        const ssize_t w = ::pwrite(out, buffer.constData() + done, size_t(n - done), off_t(at + done));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return errno;
        done += int(w);
      }
      at += n;
    }
    return 0;
  }

 private:
  QByteArray m_path;
  Fd m_fd;
  db::RawConnection m_connection;
  sqlite3_file* m_file = nullptr;
};

// Where a copy lands: a nameless file in the destination's folder (or
// copyTempPath's name where the file system has none), given the destination's
// name by one rename once it is whole. A temporary left with a name is
// removed when this goes.
class Landing {
 public:
  ~Landing() {
    if (m_linked) ::unlinkat(m_dir.get(), m_tmpName.constData(), 0);
  }

  Status open(const QByteArray& destination) {
    const QFileInfo info(QFile::decodeName(destination));
    m_name = QFile::encodeName(info.fileName());
    m_tmpName = QFile::encodeName(QFileInfo(copyTempPath(info.absoluteFilePath())).fileName());
    m_dir.reset(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_dir.valid()) return errnoStatus(errno);
    // A stale temporary from an interrupted copy to this destination.
    ::unlinkat(m_dir.get(), m_tmpName.constData(), 0);
    m_out.reset(::openat(m_dir.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (m_out.valid()) return Status::Ok();
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errnoStatus(errno);
    m_out.reset(::openat(m_dir.get(), m_tmpName.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600));
    if (!m_out.valid()) return errnoStatus(errno);
    m_linked = true;
    return Status::Ok();
  }

  int fd() const { return m_out.get(); }

  // Flushes the copy, names it and renames it over the destination.
  Status publish() {
    if (::fsync(m_out.get()) != 0) return errnoStatus(errno);
    if (!m_linked) {
      char self[64];
      std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_out.get());
      if (::linkat(AT_FDCWD, self, m_dir.get(), m_tmpName.constData(), AT_SYMLINK_FOLLOW) != 0) {
        if (errno != EEXIST) return errnoStatus(errno);
        ::unlinkat(m_dir.get(), m_tmpName.constData(), 0);
        if (::linkat(AT_FDCWD, self, m_dir.get(), m_tmpName.constData(), AT_SYMLINK_FOLLOW) != 0)
          return errnoStatus(errno);
      }
      m_linked = true;
    }
    if (::renameat(m_dir.get(), m_tmpName.constData(), m_dir.get(), m_name.constData()) != 0) return errnoStatus(errno);
    m_linked = false;
    if (::fsync(m_dir.get()) != 0 && errno != EINVAL) return errnoStatus(errno);
    return Status::Ok();
  }

 private:
  Fd m_dir;
  Fd m_out;
  QByteArray m_name;
  QByteArray m_tmpName;
  bool m_linked = false;  // the temporary has a name in the folder
};

// The file a destination link names, or the destination itself: a link
// stays one and its target is replaced.
Status followLink(QByteArray& destination) {
  struct stat st;
  if (::lstat(destination.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return Status::Ok();
  char target[PATH_MAX];
  if (!::realpath(destination.constData(), target)) return errnoStatus(errno);
  destination = target;
  return Status::Ok();
}

// Ok when the destination is absent (`exists` false) or a writable regular
// file nobody else holds (`exists` true, `st` its state).
Status checkDestination(const DbFile& file, struct stat& st, bool& exists) {
  exists = ::stat(file.nativePath().constData(), &st) == 0;
  if (!exists) return errno == ENOENT ? Status::Ok() : errnoStatus(errno);
  if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(st.st_mode)) return errnoStatus(EINVAL);
  if (posix::isReadOnlyMode(st.st_mode)) return errnoStatus(EACCES);
  return writerStatusOf(file);
}

// A writer that opens, commits and closes again for each transaction is not
// seen holding the file; its commits show in the stamp instead. A copy of a
// database counts only when no commit is under way now and none was made
// since `before`, and the copy itself begins with that stamp.
Status checkUnchanged(const DbFile& source, const CopySource& in, const db::DbStamp& before, int copy) {
  if (!before.database) return Status::Ok();
  if (source.hasLiveSidecar()) return inUseStatus();
  db::DbStamp after, copied;
  if (Status s = in.stamp(after); !s.ok()) return s;
  if (Status s = db::readStamp(copy, copied); !s.ok()) return s;
  if (!db::sameStamp(before, after) || !copied.database || copied.counter != before.counter ||
      copied.size != before.size)
    return inUseStatus();
  return Status::Ok();
}

// A replaced file keeps its own mode and owner; a new one takes the
// source's permission bits, owner and group (a copy made as root of the
// shop's file stays the shop's). Only root may give a file away; another
// process still gives the group where it is a member, else keeps its own.
Status takeOwnerAndMode(int fd, const struct stat& like) {
  if (like.st_uid != ::geteuid() || like.st_gid != ::getegid())
    if (::fchown(fd, like.st_uid, like.st_gid) != 0 && like.st_gid != ::getegid())
      if (::fchown(fd, uid_t(-1), like.st_gid) != 0) { /* not ours to give away */
      }
  return ::fchmod(fd, like.st_mode & 0777) == 0 ? Status::Ok() : errnoStatus(errno);
}

}  // namespace

// The copy is written to a nameless file in the destination's folder,
// flushed and renamed over it (Landing). A database source's stamp (change
// counter, size, modification time) is read before and after the copy and
// must match the copy's own (checkUnchanged). Only the source is opened,
// never the destination, so no SQLite lock of ours on it is dropped.
Status copyFile(const QString& source, const QString& destination) {
  const DbFile srcFile(source);
  const QByteArray& src = srcFile.nativePath();
  QByteArray dst = native(destination);
  if (Status s = followLink(dst); !s.ok()) return s;
  const DbFile dstFile = DbFile::fromNative(dst);

  // Looked at by name first: stat opens nothing, so no lock of ours on it goes.
  struct stat srcSt;
  if (::stat(src.constData(), &srcSt) != 0) return errnoStatus(errno);
  if (S_ISDIR(srcSt.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(srcSt.st_mode)) return errnoStatus(EINVAL);
  // The lease behind the in-use test is only granted while no descriptor of
  // ours is open on the file, so the source is asked before it is opened.
  if (Status s = srcFile.useStatus(); !s.ok()) return s;
  CopySource in;
  if (Status s = in.open(src, srcSt); !s.ok()) return s;
  // A database's stamp is taken before its journal is looked at: a commit
  // that began before the stamp either still shows its journal below or has
  // ended before the copy starts.
  db::DbStamp before;
  if (Status s = in.stamp(before); !s.ok()) return s;
  if (db::writtenElsewhere(srcSt.st_dev, srcSt.st_ino) || srcFile.hasLiveSidecar()) return inUseStatus();

  struct stat dstSt;
  bool dstExists = false;
  if (Status s = checkDestination(dstFile, dstSt, dstExists); !s.ok()) return s;
  Landing landing;
  if (Status s = landing.open(dst); !s.ok()) return s;
  if (const int err = in.copyTo(landing.fd())) return errnoStatus(err);
  if (Status s = checkUnchanged(srcFile, in, before, landing.fd()); !s.ok()) return s;
  if (Status s = takeOwnerAndMode(landing.fd(), dstExists ? dstSt : srcSt); !s.ok()) return s;
  return landing.publish();
}

Status replaceWith(const QString& replacement, const QString& destination) {
  const QByteArray from = native(replacement);
  const DbFile toFile = DbFile(destination).followed();
  const QByteArray& to = toFile.nativePath();
  struct stat fromSt, toSt;
  if (::lstat(from.constData(), &fromSt) != 0) return errnoStatus(errno);
  if (!S_ISREG(fromSt.st_mode)) return errnoStatus(EINVAL);
  if (::stat(to.constData(), &toSt) != 0) return errnoStatus(errno);
  if (S_ISDIR(toSt.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(toSt.st_mode)) return errnoStatus(EINVAL);
  if (posix::isReadOnlyMode(toSt.st_mode)) return errnoStatus(EACCES);
  if (Status s = toFile.useStatus(); !s.ok()) return s;
  if (toFile.hasLiveSidecar()) return inUseStatus();

  const QFileInfo toInfo(QFile::decodeName(to));
  const QByteArray dir = QFile::encodeName(toInfo.absolutePath());
  if (QFileInfo(QFile::decodeName(from)).absolutePath() != toInfo.absolutePath() || fromSt.st_dev != toSt.st_dev)
    return errnoStatus(EXDEV);
  Fd dirFd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd.valid()) return errnoStatus(errno);
  // The database keeps its own mode and owner (a run as root must not leave
  // the shop's database owned by root).
  if (::chmod(from.constData(), toSt.st_mode & 07777) != 0) return errnoStatus(errno);
  if (toSt.st_uid != fromSt.st_uid || toSt.st_gid != fromSt.st_gid)
    if (::lchown(from.constData(), toSt.st_uid, toSt.st_gid) != 0) { /* not ours to give away */
    }
  if (::rename(from.constData(), to.constData()) != 0) return errnoStatus(errno);
  if (::fsync(dirFd.get()) != 0 && errno != EINVAL) return errnoStatus(errno);
  return Status::Ok();
}

Status syncFileAndFolder(const QString& path) {
  const QByteArray p = native(path);
  Fd f(::open(p.constData(), O_RDONLY | O_CLOEXEC));
  if (!f.valid()) return errnoStatus(errno);
  if (::fsync(f.get()) != 0) return errnoStatus(errno);
  const QByteArray dir = QFile::encodeName(QFileInfo(QFile::decodeName(p)).absolutePath());
  Fd d(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!d.valid()) return errnoStatus(errno);
  if (::fsync(d.get()) != 0 && errno != EINVAL) return errnoStatus(errno);
  return Status::Ok();
}

}  // namespace files
