// The file-system layer: presence, deletion, crash-safe kernel copy and
// in-use detection through /proc.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <QFile>
#include <QFileInfo>

#include "platform/paths.h"

namespace files {

const char* const kInUseText = "The file is in use by another program.";
const char* const kUndecidedText =
    "Whether another program uses the file cannot be told: it belongs to another user, whose programs cannot be "
    "seen.";

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  void reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

QByteArray native(const QString& path) { return QFile::encodeName(paths::resolve(path)); }

Status errnoStatus(int err) { return Status::Error(err, QString::fromLocal8Bit(std::strerror(err))); }

Status inUse() { return Status::Error(EBUSY, QString::fromLatin1(kInUseText)); }

// The first 16 bytes of every SQLite database file.
const char kSqliteMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};

bool readOnlyMode(mode_t mode) { return (mode & 0222) == 0; }

// The access mode of descriptor `fd` of process `pid`, or -1 when unknown.
int openFlags(const char* pid, const char* fd) {
  char name[600];
  std::snprintf(name, sizeof name, "/proc/%s/fdinfo/%s", pid, fd);
  FILE* f = std::fopen(name, "re");
  if (!f) return -1;
  int flags = -1;
  char line[128];
  while (std::fgets(line, sizeof line, f)) {
    unsigned value = 0;
    if (std::sscanf(line, "flags: %o", &value) == 1) {
      flags = static_cast<int>(value);
      break;
    }
  }
  std::fclose(f);
  return flags;
}

bool isNumber(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

// True when another process holds the file (device, inode) open for writing,
// as far as /proc shows it; `complete` turns false when the descriptors of
// some process (another user's, to a program not running as root) could not
// be read.
bool writtenElsewhere(dev_t dev, ino_t ino, bool* complete = nullptr) {
  if (complete) *complete = true;
  DIR* proc = ::opendir("/proc");
  if (!proc) {
    if (complete) *complete = false;
    return false;
  }
  const QByteArray self = QByteArray::number(static_cast<qlonglong>(::getpid()));
  bool found = false;
  while (!found) {
    const dirent* p = ::readdir(proc);
    if (!p) break;
    if (!isNumber(p->d_name) || self == p->d_name) continue;
    char fdDir[300];
    std::snprintf(fdDir, sizeof fdDir, "/proc/%s/fd", p->d_name);
    DIR* fds = ::opendir(fdDir);
    if (!fds) {
      // Gone meanwhile, or not ours to read.
      if (complete && errno != ENOENT) *complete = false;
      continue;
    }
    while (const dirent* e = ::readdir(fds)) {
      if (!isNumber(e->d_name)) continue;
      char link[600];
      std::snprintf(link, sizeof link, "%s/%s", fdDir, e->d_name);
      struct stat st;
      if (::stat(link, &st) != 0 || st.st_dev != dev || st.st_ino != ino) continue;
      const int flags = openFlags(p->d_name, e->d_name);
      if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) {
        found = true;
        break;
      }
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return found;
}

// True when a descriptor of this process names the file (device, inode).
bool openHere(dev_t dev, ino_t ino) {
  DIR* fds = ::opendir("/proc/self/fd");
  if (!fds) return true;  // cannot tell: as if one were open
  bool found = false;
  while (const dirent* e = ::readdir(fds)) {
    if (!isNumber(e->d_name) || std::atoi(e->d_name) == ::dirfd(fds)) continue;
    struct stat st;
    if (::fstatat(::dirfd(fds), e->d_name, &st, 0) == 0 && st.st_dev == dev && st.st_ino == ino) {
      found = true;
      break;
    }
  }
  ::closedir(fds);
  return found;
}

// The kernel's answer to a write lease on the regular file (device, inode)
// at `path`: 0 when granted (no other open file description of the file
// exists anywhere, whoever owns it; released at once), EAGAIN when one
// exists, else why no lease could be had (EACCES for a file of another user
// without CAP_LEASE, or a file system without leases).
int writeLeaseAnswer(const QByteArray& path, dev_t dev, ino_t ino) {
  Fd f(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!f.valid()) return errno == EWOULDBLOCK ? EAGAIN : errno;
  struct stat st;
  if (::fstat(f.get(), &st) != 0) return errno;
  if (st.st_dev != dev || st.st_ino != ino) return EAGAIN;  // replaced meanwhile
  if (::fcntl(f.get(), F_SETLEASE, F_WRLCK) != 0) return errno;
  ::fcntl(f.get(), F_SETLEASE, F_UNLCK);
  return 0;
}

enum class Use { kFree, kInUse, kUndecided };

// Whether another program uses the file at `path`. The write lease sees
// every process whatever its owner; it is refused while any description is
// open, readers and this process's own included, so /proc tells writers
// from readers and, where the lease cannot be had, gives the answer alone.
Use useOf(const QByteArray& path) {
  struct stat st;
  if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return Use::kFree;
  // While this process holds the file (the compaction's write lock, asked
  // with the lease before it was taken), the lease cannot be had, and
  // opening and closing the file for it would drop every lock SQLite holds
  // on it here: /proc alone answers, as far as it can see.
  const bool ours = openHere(st.st_dev, st.st_ino);
  const int lease = ours ? EAGAIN : writeLeaseAnswer(path, st.st_dev, st.st_ino);
  if (lease == 0) return Use::kFree;
  bool complete = true;
  if (writtenElsewhere(st.st_dev, st.st_ino, &complete)) return Use::kInUse;
  if (complete || ours) return Use::kFree;  // readers only, or ours
  // The lease was refused, so an unseen process of another user holds it.
  if (lease == EAGAIN) return Use::kInUse;
  return Use::kUndecided;
}

Status useStatusOf(const QByteArray& path) {
  switch (useOf(path)) {
    case Use::kFree:
      return Status::Ok();
    case Use::kInUse:
      return inUse();
    case Use::kUndecided:
      break;
  }
  return Status::Error(EBUSY, QString::fromLatin1(kUndecidedText));
}

// The file a symbolic link at `path` names, links resolved all the way;
// `path` itself when it is no link or cannot be resolved.
QByteArray followed(const QByteArray& path) {
  struct stat st;
  if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char target[PATH_MAX];
  return ::realpath(path.constData(), target) ? QByteArray(target) : path;
}

// True when a copy from or onto the database at `nativePath` could tear it:
// a non-empty WAL, or a rollback journal that SQLite would play back (not
// empty and its header's first byte set). A journal whose header is still
// zero (a writer killed before flushing it, or one that keeps its journal
// after commit) is never played back, so the database file is whole.
bool sidecarTearsCopy(const QByteArray& path) {
  // SQLite keeps the journal beside the file a link names.
  const QByteArray nativePath = followed(path);
  struct stat st;
  if (::stat((nativePath + "-wal").constData(), &st) == 0 && st.st_size > 0) return true;
  const QByteArray journal = nativePath + "-journal";
  if (::stat(journal.constData(), &st) != 0 || st.st_size == 0) return false;
  Fd f(::open(journal.constData(), O_RDONLY | O_CLOEXEC));
  char first = 0;
  // A journal that cannot be read is taken as live.
  if (!f.valid() || ::pread(f.get(), &first, 1, 0) != 1) return true;
  return first != 0;
}

// What a copy of a database file is checked against: SQLite's file change
// counter (header offset 24, incremented by every commit in rollback-journal
// mode) and the file's size and modification time, which also move when a
// writer spills pages and then rolls them back.
struct DbStamp {
  bool database = false;  // the file begins "SQLite format 3\0"
  uint32_t counter = 0;
  off_t size = 0;
  struct timespec mtime = {};
};

// The stamp of the open file `fd`, read with pread so the descriptor's
// offset and locks are left alone. Ok with database false for a file that
// is no SQLite database (or too short to be one); an errno on a failed read.
int readStamp(int fd, DbStamp& out) {
  out = DbStamp();
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  out.size = st.st_size;
  out.mtime = st.st_mtim;
  unsigned char head[28];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::pread(fd, head + got, sizeof head - got, off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += size_t(n);
  }
  if (got < sizeof head || std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) != 0) return 0;
  out.database = true;
  out.counter = (uint32_t(head[24]) << 24) | (uint32_t(head[25]) << 16) | (uint32_t(head[26]) << 8) | uint32_t(head[27]);
  return 0;
}

bool sameStamp(const DbStamp& a, const DbStamp& b) {
  return a.database == b.database && a.counter == b.counter && a.size == b.size &&
         a.mtime.tv_sec == b.mtime.tv_sec && a.mtime.tv_nsec == b.mtime.tv_nsec;
}

// Copies all of `in` to `out` inside the kernel: a reflink where the file
// system shares blocks, else copy_file_range, else sendfile. Returns 0 or
// an errno.
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

}  // namespace

bool isPresent(const QString& path) {
  const QByteArray p = native(path);
  const QString name = QFileInfo(QFile::decodeName(p)).fileName();
  if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) return false;
  struct stat st;
  return ::stat(p.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isReadOnly(const QString& path) {
  struct stat st;
  return ::stat(native(path).constData(), &st) == 0 && readOnlyMode(st.st_mode);
}

bool isInUse(const QString& path) { return !useStatusOf(native(path)).ok(); }

Status useStatus(const QString& path) { return useStatusOf(native(path)); }

bool beginsAsDatabase(const QString& path) {
  const QByteArray p = native(path);
  struct stat st;
  if (::stat(p.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  Fd f(::open(p.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  char head[sizeof kSqliteMagic];
  return f.valid() && ::pread(f.get(), head, sizeof head, 0) == ssize_t(sizeof head) &&
         std::memcmp(head, kSqliteMagic, sizeof head) == 0;
}

bool hasLiveSidecar(const QString& path) { return sidecarTearsCopy(native(path)); }

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
    if (readOnlyMode(st.st_mode)) return errnoStatus(EACCES);
    if (writtenElsewhere(st.st_dev, st.st_ino)) return inUse();
  }
  if (::unlink(p.constData()) != 0) return errnoStatus(errno);
  return Status::Ok();
}

Status copyFile(const QString& source, const QString& destination) {
  const QByteArray src = native(source);
  // A destination that is a symbolic link stays one: the file it names is
  // the one replaced.
  QByteArray dst = native(destination);
  struct stat linkSt;
  if (::lstat(dst.constData(), &linkSt) == 0 && S_ISLNK(linkSt.st_mode)) {
    char target[PATH_MAX];
    if (!::realpath(dst.constData(), target)) return errnoStatus(errno);
    dst = target;
  }

  // The lease behind the in-use test is only granted while no descriptor of
  // ours is open on the file, so the source is asked before it is opened.
  if (Status s = useStatusOf(src); !s.ok()) return s;
  // Opened without blocking: a FIFO or device is refused, never waited on.
  Fd in(::open(src.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!in.valid()) return errnoStatus(errno);
  struct stat srcSt;
  if (::fstat(in.get(), &srcSt) != 0) return errnoStatus(errno);
  if (S_ISDIR(srcSt.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(srcSt.st_mode)) return errnoStatus(EINVAL);
  ::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
  // A database's stamp is taken before its journal is looked at: a commit
  // that began before the stamp either still shows its journal below or has
  // ended before the copy starts.
  DbStamp before;
  if (const int err = readStamp(in.get(), before)) return errnoStatus(err);
  if (writtenElsewhere(srcSt.st_dev, srcSt.st_ino) || sidecarTearsCopy(src)) return inUse();

  struct stat dstSt;
  const bool dstExists = ::stat(dst.constData(), &dstSt) == 0;
  if (dstExists) {
    if (S_ISDIR(dstSt.st_mode)) return errnoStatus(EISDIR);
    if (!S_ISREG(dstSt.st_mode)) return errnoStatus(EINVAL);
    if (readOnlyMode(dstSt.st_mode)) return errnoStatus(EACCES);
    if (Status s = useStatusOf(dst); !s.ok()) return s;
    if (sidecarTearsCopy(dst)) return inUse();
  } else if (errno != ENOENT) {
    return errnoStatus(errno);
  }

  const QFileInfo dstInfo(QFile::decodeName(dst));
  const QByteArray dir = QFile::encodeName(dstInfo.absolutePath());
  const QByteArray name = QFile::encodeName(dstInfo.fileName());
  const QByteArray tmpName = "." + name + ".kvcopy";
  Fd dirFd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd.valid()) return errnoStatus(errno);

  // A stale temporary from an interrupted copy to this destination.
  ::unlinkat(dirFd.get(), tmpName.constData(), 0);

  bool linked = false;  // true once the temporary has a name in the folder
  Fd out(::openat(dirFd.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (!out.valid()) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errnoStatus(errno);
    out.reset(::openat(dirFd.get(), tmpName.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600));
    if (!out.valid()) return errnoStatus(errno);
    linked = true;
  }
  auto failWith = [&](const Status& status) {
    if (linked) ::unlinkat(dirFd.get(), tmpName.constData(), 0);
    return status;
  };
  auto fail = [&](int err) { return failWith(errnoStatus(err)); };

  if (const int err = kernelCopy(in.get(), out.get())) return fail(err);
  if (before.database) {
    // A writer that opens, commits and closes again for each transaction is
    // not seen holding the file; its commits show in the stamp instead. The
    // copy counts only when no commit is under way now and none was made
    // since the stamp, and the copy itself begins with the counter stamped.
    if (sidecarTearsCopy(src)) return failWith(inUse());
    DbStamp after, copied;
    if (const int err = readStamp(in.get(), after)) return fail(err);
    if (const int err = readStamp(out.get(), copied)) return fail(err);
    if (!sameStamp(before, after) || !copied.database || copied.counter != before.counter ||
        copied.size != before.size)
      return failWith(inUse());
  }
  // A replaced file keeps its own mode and owner; a new one takes the
  // source's permission bits.
  if (::fchmod(out.get(), (dstExists ? dstSt.st_mode : srcSt.st_mode) & 0777) != 0) return fail(errno);
  if (dstExists && (dstSt.st_uid != ::geteuid() || dstSt.st_gid != ::getegid()))
    if (::fchown(out.get(), dstSt.st_uid, dstSt.st_gid) != 0) { /* not ours to give away */ }
  if (::fsync(out.get()) != 0) return fail(errno);

  if (!linked) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", out.get());
    if (::linkat(AT_FDCWD, self, dirFd.get(), tmpName.constData(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno != EEXIST) return fail(errno);
      ::unlinkat(dirFd.get(), tmpName.constData(), 0);
      if (::linkat(AT_FDCWD, self, dirFd.get(), tmpName.constData(), AT_SYMLINK_FOLLOW) != 0) return fail(errno);
    }
    linked = true;
  }
  if (::renameat(dirFd.get(), tmpName.constData(), dirFd.get(), name.constData()) != 0) return fail(errno);
  linked = false;
  if (::fsync(dirFd.get()) != 0 && errno != EINVAL) return errnoStatus(errno);
  return Status::Ok();
}

Status replaceWith(const QString& replacement, const QString& destination) {
  const QByteArray from = native(replacement);
  const QByteArray to = followed(native(destination));
  struct stat fromSt, toSt;
  if (::lstat(from.constData(), &fromSt) != 0) return errnoStatus(errno);
  if (!S_ISREG(fromSt.st_mode)) return errnoStatus(EINVAL);
  if (::stat(to.constData(), &toSt) != 0) return errnoStatus(errno);
  if (S_ISDIR(toSt.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(toSt.st_mode)) return errnoStatus(EINVAL);
  if (readOnlyMode(toSt.st_mode)) return errnoStatus(EACCES);
  if (Status s = useStatusOf(to); !s.ok()) return s;
  if (sidecarTearsCopy(to)) return inUse();

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
    if (::lchown(from.constData(), toSt.st_uid, toSt.st_gid) != 0) { /* not ours to give away */ }
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
