// Small helpers for code that calls POSIX directly: a descriptor guard, the
// Status of an errno value, and the read-only test on a file's mode bits.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include <QString>

#include "platform/core/status.h"

namespace posix {

// Closes the descriptor it holds (when any) on every way out.
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
  // Closes the held descriptor, then holds `fd`.
  void reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

// An error Status numbered `err` and described by the system's text for it.
inline Status errnoStatus(int err) { return Status::Error(err, QString::fromLocal8Bit(std::strerror(err))); }

// True when no one may write the file: none of its three write bits is set.
inline bool isReadOnlyMode(mode_t mode) { return (mode & 0222) == 0; }

}  // namespace posix
