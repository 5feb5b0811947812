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

#include "app/launch_environment.h"
#include "zub/path.h"
#include "zub/settings_trust.h"

namespace {

// Run directly only what exec can take: a regular file the user may
// execute. Directories carry an x bit too and must go to the opener.
bool isExecutableFile(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
         faccessat(AT_FDCWD, path, X_OK, AT_EACCESS) == 0;
}

// True unless the first bytes of `path` show a document rather than a
// program: only a script ("#!") or an executable (ELF) runs directly. A
// file that cannot be read cannot be told apart and is tried as a program,
// which is all an execute-only binary allows.
bool looksLikeProgram(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;
  unsigned char head[4] = {};
  ssize_t got;
  while ((got = read(fd, head, sizeof head)) < 0 && errno == EINTR) {
  }
  close(fd);
  if (got < 0) return true;
  const bool script = got >= 2 && head[0] == '#' && head[1] == '!';
  const bool elf = got == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
  return script || elf;
}

// `name` looked up along the PATH of `environment` the way a shell would
// (an empty element is the working directory); the empty string when it is
// nowhere.
std::string findOnPath(const std::string& name, const std::vector<std::string>& environment) {
  std::string searchPath = environmentValue(environment, "PATH");
  if (searchPath.empty()) {
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
// When the program cannot be started (ENOEXEC for a file with the bit set
// that is no program, EACCES on a noexec mount), `fallback` with
// `fallbackArgv` is started instead, if there is one.
// The program starts in `folder`, as a file manager starts it; a folder
// that cannot be entered does not stop it.
[[noreturn]] void becomeLaunchedProgram(int devNull, int highestFd, const char* folder,
                                        const char* program,
                                        char* const* argv,
                                        const char* fallback,
                                        char* const* fallbackArgv,
                                        char* const* environment) {
  // Every signal at its default action and none blocked, whatever the
  // browser inherited or set for itself (SIGXFSZ ignored, a nohup's
  // SIGHUP, a script's SIGINT): exec keeps an ignored signal ignored.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const int ignored = chdir(folder);
  (void)ignored;
  dup2(devNull, STDIN_FILENO);
  dup2(devNull, STDOUT_FILENO);
  dup2(devNull, STDERR_FILENO);
  // The toolkit's X connection and anything else the browser holds open
  // must not live on in the launched program; O_CLOEXEC is not set on all
  // of them.
  if (close_range(3, ~0u, 0) != 0) {
    for (int fd = 3; fd <= highestFd; ++fd) close(fd);
  }
  execve(program, argv, environment);
  if (fallback != nullptr) execve(fallback, fallbackArgv, environment);
  _exit(127);
}

}  // namespace

void launchFile(const std::string& fullPath) {
  // exec takes zero-terminated strings: a NUL inside would cut the path.
  if (fullPath.empty() || fullPath.find('\0') != std::string::npos) return;

  // Root working for another user launches as root on its own account.
  const bool forAnotherUser = zub::settingsOfAnotherUser();
  std::vector<std::string> environment = launchEnvironment(
      processEnvironment(), forAnotherUser, forAnotherUser ? rootAccount() : RootAccount());
  std::vector<char*> environmentPointers;
  for (std::string& entry : environment) environmentPointers.push_back(entry.data());
  environmentPointers.push_back(nullptr);

  std::string pathArgument = fullPath;
  std::string opener = findOnPath("xdg-open", environment);
  std::vector<char*> openerArgv = {opener.data(), pathArgument.data(), nullptr};
  std::string program;
  std::vector<char*> argv;
  if (isExecutableFile(fullPath.c_str()) && looksLikeProgram(fullPath.c_str())) {
    program = fullPath;
    argv = {pathArgument.data(), nullptr};
  } else {
    if (opener.empty()) return;
    program = opener;
    argv = openerArgv;
  }
  const char* fallback = opener.empty() || program == opener ? nullptr : opener.c_str();
  const std::string folder = zub::folderOf(fullPath);

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
      becomeLaunchedProgram(devNull, highestFd, folder.c_str(), program.c_str(), argv.data(),
                            fallback, openerArgv.data(), environmentPointers.data());
    }
    _exit(launched < 0 ? 1 : 0);
  }
  close(devNull);
  if (middle < 0) return;
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
}
