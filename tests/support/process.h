// Child processes started without a shell, and the launch recorder: a
// stand-in program that writes down how it was started.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

// A copy of this process's environment with `set` applied ("NAME=value"
// entries replace) and the variables named in `unset` removed.
std::vector<std::string> environmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& unset);

// How to start a child process.
struct SpawnOptions {
  std::vector<std::string> argv;         // argv[0] is looked up on PATH when it has no '/'
  std::vector<std::string> environment;  // empty: inherit
  std::string workingDirectory;          // empty: inherit
  bool captureStdout = false;            // stdout into a pipe (Child::stdoutFd)
  int keepFd = -1;                       // a descriptor the child keeps open
  bool silenceStderr = false;            // stderr to the null device
};

struct Child {
  int pid = -1;       // -1: not started
  int stdoutFd = -1;  // read end of captured stdout; the caller closes it
};

// Starts a child (fork and exec, no shell). pid -1 on failure.
Child spawn(const SpawnOptions& options);

// Waits up to `limit` for child `pid` to end. True when it ended, with the
// raw wait status in `status`; false (still running) on time-out.
bool waitForExit(int pid, int& status,
                 std::chrono::milliseconds limit = std::chrono::seconds(30));

// Kills and reaps child `pid` when it still runs; nothing for pid <= 0.
void killAndReap(int pid);

// Reads `fd` until `lines` line feeds have arrived, the end of the stream,
// or `limit`; what arrived.
std::string readLines(int fd, int lines,
                      std::chrono::milliseconds limit = std::chrono::seconds(30));

// The processes whose parent is `pid`, with their state letter ('Z' for a
// zombie); empty when none or when they cannot be read.
struct ProcessInfo {
  int pid;
  char state;
};
std::vector<ProcessInfo> childrenOf(int pid);

// A shell script that records, per run, how it was started under
// $LAUNCH_RECORD/<its pid>/, writing a "done" file last. With
// `includeProgramName` the recorded arguments start with $0 (a program run
// directly), else they are "$@" only (an opener). With `copyFile` set it
// also records that file's content as it was when the script ran.
std::string recorderScript(bool includeProgramName, const std::string& copyFile = "");

struct LaunchRecord {
  std::vector<std::string> arguments;
  int session = -1;
  int processGroup = -1;
  std::vector<std::string> standardStreams;  // targets of fds 0, 1, 2
  std::vector<std::string> openFiles;        // targets of every open fd
  std::string workingDirectory;
  std::string copiedFile;
  std::string signals;  // the SigBlk and SigIgn lines of its /proc status (POSIX)
};

// Every finished run recorded under `recordDir`, in no particular order;
// empty when there is none.
std::vector<LaunchRecord> readLaunchRecords(const std::string& recordDir);

}  // namespace testing_support
