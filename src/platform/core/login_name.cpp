// The login name from the system's user database.
#include "platform/core/login_name.h"

#include <pwd.h>
#include <unistd.h>
#include <cerrno>

#include <vector>

namespace login {
namespace {
std::function<QString()>& source() {
  static std::function<QString()> s;
  return s;
}
}  // namespace

QString loginName() {
  if (source()) return source()();
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  struct passwd pwd {};
  struct passwd* result = nullptr;
  for (;;) {
    const int rc = getpwuid_r(geteuid(), &pwd, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || result == nullptr || result->pw_name == nullptr) return QString();
    return QString::fromLocal8Bit(result->pw_name);
  }
}

void setLoginNameSource(std::function<QString()> s) { source() = std::move(s); }

}  // namespace login
