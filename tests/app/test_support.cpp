#include "tests/app/test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/orchard-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data())) path = buffer.data();
}

TempDir::~TempDir() {
  if (path.empty()) return;
  std::error_code ignored;
  // Folders a test made unreadable must be opened up again to be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path, std::filesystem::directory_options::skip_permission_denied, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      chmod(it->path().c_str(), 0700);
    }
  }
  std::filesystem::remove_all(path, ignored);
}

bool writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool fileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool makeDir(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return !error && std::filesystem::is_directory(path);
}

bool writeExecutable(const std::string& path, const std::string& content) {
  return writeFile(path, content) && chmod(path.c_str(), 0755) == 0;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<std::string> environmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& unset) {
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = nameOf(entry);
    bool drop = false;
    for (const auto& u : unset) drop = drop || u == name;
    for (const auto& s : set) drop = drop || nameOf(s) == name;
    if (!drop) result.push_back(entry);
  }
  result.insert(result.end(), set.begin(), set.end());
  return result;
}

namespace {
std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}
}  // namespace

Child spawn(const SpawnOptions& options) {
  Child child;
  std::vector<std::string> args = options.argv;
  std::vector<std::string> env = options.environment;
  std::vector<char*> argv = pointersTo(args);
  std::vector<char*> envp = pointersTo(env);
  int pipeFds[2] = {-1, -1};
  if (options.captureStdout && pipe2(pipeFds, O_CLOEXEC) != 0) return child;
  const pid_t pid = fork();
  if (pid == 0) {
    if (options.captureStdout) dup2(pipeFds[1], STDOUT_FILENO);
    if (options.silenceStderr) {
      const int devNull = open("/dev/null", O_WRONLY);
      if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    }
    if (options.keepFd >= 0) {
      const int flags = fcntl(options.keepFd, F_GETFD);
      fcntl(options.keepFd, F_SETFD, flags & ~FD_CLOEXEC);
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
      _exit(126);
    }
    if (!options.environment.empty()) environ = envp.data();
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (options.captureStdout) {
    close(pipeFds[1]);
    if (pid < 0) {
      close(pipeFds[0]);
    } else {
      child.stdoutFd = pipeFds[0];
    }
  }
  child.pid = pid;
  return child;
}

bool waitForExit(pid_t pid, int& status, std::chrono::milliseconds limit) {
  return waitUntil(
      [&] {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
      },
      limit);
}

void killAndReap(pid_t pid) {
  if (pid <= 0) return;
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
}

std::string readLines(int fd, int lines, std::chrono::milliseconds limit) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + limit;
  int seen = 0;
  while (seen < lines) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) seen += buffer[i] == '\n';
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

std::string runTool(const std::vector<std::string>& argv,
                    const std::vector<std::string>& environment, int& exitCode,
                    std::chrono::milliseconds limit) {
  exitCode = -1;
  SpawnOptions options;
  options.argv = argv;
  options.environment = environment;
  options.captureStdout = true;
  Child child = spawn(options);
  if (child.pid < 0) return std::string();
  std::string out;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    struct pollfd p = {child.stdoutFd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = read(child.stdoutFd, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  close(child.stdoutFd);
  int status = 0;
  if (!waitForExit(child.pid, status, std::chrono::milliseconds(2000))) {
    killAndReap(child.pid);
    return out;
  }
  if (WIFEXITED(status)) exitCode = WEXITSTATUS(status);
  return out;
}

std::vector<ProcessInfo> childrenOf(pid_t parent) {
  std::vector<ProcessInfo> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  while (struct dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = readFile("/proc/" + name + "/stat");
    // The command name may hold blanks and parentheses: fields follow the
    // last ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = '?';
    long ppid = 0;
    fields >> state >> ppid;
    if (ppid == parent) children.push_back({static_cast<pid_t>(std::stol(name)), state});
  }
  closedir(proc);
  return children;
}

std::vector<std::string> hostileNames() {
  return {
      "plain.txt",
      "with blank and 'single' \"double\" quotes",
      "$(touch pwned-subst)",
      "`touch pwned-tick`",
      "x; touch pwned-semicolon",
      "line one\ntouch pwned-newline",
      "caf\xe9 \xff\x80 bytes",
      "-starts-with-dash",
  };
}

}  // namespace testing_support
