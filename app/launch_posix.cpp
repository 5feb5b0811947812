#include "app/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// Run directly only what exec can take: a regular file the user may
// execute. Directories carry an x bit too and must go to the opener.
bool isExecutableFile(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
         faccessat(AT_FDCWD, path, X_OK, AT_EACCESS) == 0;
}

// `name` looked up along PATH the way a shell would (an empty element is
// the working directory); the empty string when it is nowhere.
std::string findOnPath(const std::string& name) {
  std::string searchPath;
  if (const char* path = std::getenv("PATH")) {
    searchPath = path;
  } else {
    const std::size_t size = confstr(_CS_PATH, nullptr, 0);
    if (size > 0) {
      std::vector<char> buffer(size);
      confstr(_CS_PATH, buffer.data(), size);
      searchPath = buffer.data();
    }
  }
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string::npos) end = searchPath.size();
    std::string dir = searchPath.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (isExecutableFile(candidate.c_str())) return candidate;
    start = end + 1;
  }
  return std::string();
}

// Highest descriptor number to close by hand when close_range is missing.
int highestDescriptor() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur <= 1u << 20) {
    return static_cast<int>(limit.rlim_cur) - 1;
  }
  return (1 << 16) - 1;
}

// Between fork and exec: async-signal-safe calls only, on data prepared
// before the fork. Never returns.
[[noreturn]] void becomeLaunchedProgram(int devNull, int highestFd,
                                        const char* program,
                                        char* const* argv) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  signal(SIGCHLD, SIG_DFL);
  dup2(devNull, STDIN_FILENO);
  dup2(devNull, STDOUT_FILENO);
  dup2(devNull, STDERR_FILENO);
  // The toolkit's X connection and anything else the browser holds open
  // must not live on in the launched program; O_CLOEXEC is not set on all
  // of them.
  if (close_range(3, ~0u, 0) != 0) {
    for (int fd = 3; fd <= highestFd; ++fd) close(fd);
  }
  execv(program, argv);
  _exit(127);
}

}  // namespace

void launchFile(const std::string& fullPath) {
  // exec takes zero-terminated strings: a NUL inside would cut the path.
  if (fullPath.empty() || fullPath.find('\0') != std::string::npos) return;

  std::string pathArgument = fullPath;
  std::string program;
  std::vector<char*> argv;
  if (isExecutableFile(fullPath.c_str())) {
    program = fullPath;
    argv = {pathArgument.data(), nullptr};
  } else {
    program = findOnPath("xdg-open");
    if (program.empty()) return;
    argv = {program.data(), pathArgument.data(), nullptr};
  }

  int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) return;
  if (devNull <= STDERR_FILENO) {
    // dup2 onto itself would keep O_CLOEXEC and close the stream at exec.
    const int moved = fcntl(devNull, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(devNull);
    if (moved < 0) return;
    devNull = moved;
  }
  const int highestFd = highestDescriptor();

  // Two forks: the middle process starts a new session, forks the program
  // and exits at once; it is reaped right here, and the program, orphaned,
  // is adopted by init, which reaps it in turn. So the browser never waits
  // for the program and never holds a zombie.
  const pid_t middle = fork();
  if (middle == 0) {
    setsid();
    const pid_t launched = fork();
    if (launched == 0) {
      becomeLaunchedProgram(devNull, highestFd, program.c_str(), argv.data());
    }
    _exit(launched < 0 ? 1 : 0);
  }
  close(devNull);
  if (middle < 0) return;
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
}
