// Who holds a file: the kernel's write lease, which sees every process, and
// /proc, which tells writers from readers among the processes it may read.
#include "platform/filesafety/file_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/core/posix_io.h"

namespace files {

const char* const kInUseText = "The file is in use by another program.";
const char* const kUndecidedText =
    "Whether another program uses the file cannot be told: it belongs to another user, whose programs cannot be "
    "seen.";

Status inUseStatus() { return Status::Error(EBUSY, QString::fromLatin1(kInUseText)); }

bool isUndecided(const Status& status) {
  return status.number() == EBUSY && status.description() == QLatin1String(kUndecidedText);
}

}  // namespace files

namespace db {
namespace {

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

}  // namespace

bool writtenElsewhere(dev_t dev, ino_t ino, bool* complete) {
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
namespace {

// The kernel's answer to a write lease on the regular file (device, inode)
// at `path`: 0 when granted (no other open file description of the file
// exists anywhere, whoever owns it; released at once), EAGAIN when one
// exists, else why no lease could be had (EACCES for a file of another user
// without CAP_LEASE, or a file system without leases).
int writeLeaseAnswer(const QByteArray& path, dev_t dev, ino_t ino) {
  // Another program that opens the file while the lease is held breaks it,
  // and the kernel tells the holder with SIGIO, whose default action ends
  // the program. The lease is let go at once, so the notice is not needed.
  [[maybe_unused]] static const bool quiet = [] {
    struct sigaction before = {};
    if (::sigaction(SIGIO, nullptr, &before) == 0 && before.sa_handler == SIG_DFL && !(before.sa_flags & SA_SIGINFO))
      std::signal(SIGIO, SIG_IGN);
    return true;
  }();
  posix::Fd f(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
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

// The file a symbolic link at `path` names, links resolved all the way;
}  // namespace

Status useStatus(const QByteArray& path) {
  switch (useOf(path)) {
    case Use::kFree:
      return Status::Ok();
    case Use::kInUse:
      return files::inUseStatus();
    case Use::kUndecided:
      break;
  }
  return Status::Error(EBUSY, QString::fromLatin1(files::kUndecidedText));
}

}  // namespace db
