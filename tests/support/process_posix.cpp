// POSIX realisation of the test support's platform part: environment
// variables, checks as "nobody", child processes and the launch recorder
// (which reads /proc).
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "tests/support/platform.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

extern char** environ;

namespace testing_support {

namespace {

constexpr uid_t kNobody = 65534;

// Writes all of `text` to `fd`; false when the pipe breaks.
bool writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::vector<std::string> splitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The fields of /proc/PID/stat after the command name, which may hold
// blanks and parentheses: state, parent, process group, session.
struct StatFields {
  char state = '?';
  long parent = 0, group = 0, session = 0;
};
StatFields statFields(const std::string& stat) {
  StatFields fields;
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return fields;
  std::istringstream(stat.substr(close + 1)) >> fields.state >> fields.parent >> fields.group >>
      fields.session;
  return fields;
}

}  // namespace

void putVariable(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

bool environmentHoldsEmptyValues() { return true; }
bool workingDirectoryCanVanish() { return true; }
bool runsUnderWine() { return false; }
bool giveToCheckUser(const std::string& path) {
  return geteuid() != 0 || chown(path.c_str(), kNobody, kNobody) == 0;
}
bool nameAllowed(const std::string& name) {
  return !name.empty() && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

ChildCheck runUnprivileged(const std::function<void(std::string&)>& check) {
  ChildCheck result;
  int fds[2];
  if (pipe(fds) != 0) {
    result.output = "no pipe";
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
                           setuid(kNobody) != 0)) {
      _exit(3);
    }
    std::string output;
    check(output);
    // _exit: the child must not run this process's exit-time work twice.
    _exit(writeAll(fds[1], output) ? 0 : 4);
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    result.output = "no child process";
    return result;
  }
  const std::string text = readLines(fds[0], INT_MAX, std::chrono::minutes(5));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
    result.output = "could not become the user nobody";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    result.output = "the check's child ended with wait status " + std::to_string(status) +
                    " after writing: " + text;
  } else {
    result.ran = true;
    result.output = text;
  }
  return result;
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

bool waitForExit(int pid, int& status, std::chrono::milliseconds limit) {
  return waitUntil(
      [&] {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
      },
      limit);
}

void killAndReap(int pid) {
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
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) seen += buffer[i] == '\n';
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

std::vector<ProcessInfo> childrenOf(int parent) {
  std::vector<ProcessInfo> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  while (struct dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const StatFields fields = statFields(readFile("/proc/" + name + "/stat"));
    if (fields.parent == parent) children.push_back({std::stoi(name), fields.state});
  }
  closedir(proc);
  return children;
}

std::string recorderScript(bool includeProgramName, const std::string& copyFile) {
  std::string script =
      "#!/bin/sh\n"
      "PATH=/usr/bin:/bin\n"
      "s0=$(readlink /proc/$$/fd/0); s1=$(readlink /proc/$$/fd/1); s2=$(readlink /proc/$$/fd/2)\n"
      "out=\"$LAUNCH_RECORD/$$\"\n"
      "mkdir -p \"$out\"\n";
  script += includeProgramName ? "printf '%s\\0' \"$0\" \"$@\" > \"$out/args\"\n"
                               : "printf '%s\\0' \"$@\" > \"$out/args\"\n";
  script +=
      "printf '%s\\n%s\\n%s\\n' \"$s0\" \"$s1\" \"$s2\" > \"$out/streams\"\n"
      "for f in /proc/$$/fd/*; do readlink \"$f\"; done > \"$out/fds\"\n"
      "cat /proc/$$/stat > \"$out/stat\"\n"
      "readlink /proc/$$/cwd > \"$out/cwd\"\n"
      // Read by the shell itself: while it starts a command its own mask
      // may block everything for a moment.
      "while read -r l; do case $l in SigBlk:*|SigIgn:*) echo \"$l\";; esac; done"
      " < /proc/$$/status > \"$out/signals\"\n";
  if (!copyFile.empty()) {
    script += "cat '" + copyFile + "' > \"$out/copy\"\n";
  }
  script += ": > \"$out/done\"\n";
  return script;
}

std::vector<LaunchRecord> readLaunchRecords(const std::string& recordDir) {
  std::vector<LaunchRecord> records;
  for (const std::string& name : namesIn(recordDir)) {
    const std::string base = recordDir + "/" + name + "/";
    if (!pathExists(base + "done")) continue;
    LaunchRecord record;
    // Every argument is followed by a NUL, so an empty argument survives.
    const std::string args = readFile(base + "args");
    std::size_t start = 0;
    while (start < args.size()) {
      const std::size_t end = args.find('\0', start);
      record.arguments.push_back(args.substr(start, end - start));
      start = end + 1;
    }
    record.standardStreams = splitOn(readFile(base + "streams"), '\n');
    record.openFiles = splitOn(readFile(base + "fds"), '\n');
    std::string cwd = readFile(base + "cwd");
    if (!cwd.empty() && cwd.back() == '\n') cwd.pop_back();
    record.workingDirectory = cwd;
    record.copiedFile = readFile(base + "copy");
    record.signals = readFile(base + "signals");
    const StatFields fields = statFields(readFile(base + "stat"));
    record.processGroup = static_cast<int>(fields.group);
    record.session = static_cast<int>(fields.session);
    records.push_back(record);
  }
  return records;
}

}  // namespace testing_support
