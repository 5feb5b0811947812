// Helpers shared by the app tests: temporary folders, files, processes
// started without a shell, polling with a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it
// when the object goes away. `path` has no trailing slash.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
};

// Writes `content` to `path` (created or truncated); false on failure.
bool writeFile(const std::string& path, const std::string& content);
// The whole content of `path`; empty when it cannot be read.
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// Creates `path` and missing parents; false on failure.
bool makeDir(const std::string& path);
// Writes a script with mode 0755.
bool writeExecutable(const std::string& path, const std::string& content);

// Polls `condition` every few milliseconds until it holds (true) or
// `limit` has passed (false).
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// Environment manipulation for a child: a copy of the current environment
// with `set` applied (NAME=value entries replace) and `unset` removed.
std::vector<std::string> environmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& unset);

// How to start a child process.
struct SpawnOptions {
  std::vector<std::string> argv;         // argv[0] is looked up on PATH when it has no '/'
  std::vector<std::string> environment;  // empty: inherit
  std::string workingDirectory;          // empty: inherit
  bool captureStdout = false;            // stdout into a pipe (stdoutFd)
  int keepFd = -1;                       // a descriptor the child keeps (not close-on-exec)
  bool silenceStderr = false;            // stderr to /dev/null
};

struct Child {
  pid_t pid = -1;
  int stdoutFd = -1;  // read end when captured
};

// Starts a child with fork/exec (no shell). pid -1 on failure.
Child spawn(const SpawnOptions& options);

// Waits up to `limit` for `pid` to end. True when it ended; `status`
// gets the raw wait status.
bool waitForExit(pid_t pid, int& status,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));

// Kills and reaps `pid` when it still runs.
void killAndReap(pid_t pid);

// Runs a tool to the end (killed after `limit`); its stdout; `exitCode`
// gets its exit status or -1 when it did not end normally.
std::string runTool(const std::vector<std::string>& argv,
                    const std::vector<std::string>& environment, int& exitCode,
                    std::chrono::milliseconds limit = std::chrono::seconds(20));

// Reads from `fd` until `lines` line feeds have arrived or `limit` passed.
std::string readLines(int fd, int lines,
                      std::chrono::milliseconds limit = std::chrono::seconds(20));

// Processes whose parent is `pid`, with their state letter from /proc
// ('Z' for a zombie).
struct ProcessInfo {
  pid_t pid;
  char state;
};
std::vector<ProcessInfo> childrenOf(pid_t pid);

// Names with the bytes a shell would act on: blanks, quotes, a command
// substitution, back-ticks, a separator, a newline, high bytes.
std::vector<std::string> hostileNames();

}  // namespace testing_support
