// Child processes of the bench: fork, exec, pipes and wait4.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace bench {
namespace {

// Reads both pipes until each is closed.
void drain(int outFd, int errFd, std::string& out, std::string& err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  int open = (outFd >= 0) + (errFd >= 0);
  if (outFd < 0) fds[0].fd = -1;
  char buf[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? out : err).append(buf, size_t(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

ChildResult runChild(const std::vector<std::string>& argv, bool captureOutput) {
  ChildResult result;
  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  if (captureOutput && ::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) {
    if (captureOutput) {
      ::dup2(outPipe[1], STDOUT_FILENO);
    } else {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
    }
    ::dup2(errPipe[1], STDERR_FILENO);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  result.started = true;
  if (captureOutput) ::close(outPipe[1]);
  ::close(errPipe[1]);
  drain(captureOutput ? outPipe[0] : -1, errPipe[0], result.output, result.errorOutput);

  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.maxRssKiB = usage.ru_maxrss;
  result.userSeconds = double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6;
  result.systemSeconds = double(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace bench
