// A stand-in program for the launch tests: a shell script that records,
// per run, how it was started (its arguments, session, standard streams,
// open descriptors, working directory) under $LAUNCH_RECORD/<pid>/, with a
// "done" file written last.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

// Script text. With `includeProgramName` the recorded arguments start with
// $0 (for a program run directly), else they are "$@" only (for an opener).
// With `copyFile` set, the script also copies that file (e.g. a marks file)
// into the record as it is when the script runs.
std::string recorderScript(bool includeProgramName, const std::string& copyFile = "");

struct LaunchRecord {
  std::vector<std::string> arguments;
  pid_t session = -1;
  pid_t processGroup = -1;
  std::vector<std::string> standardStreams;  // targets of fds 0, 1, 2
  std::vector<std::string> openFiles;        // targets of every open fd
  std::string workingDirectory;
  std::string copiedFile;
};

// Every finished run recorded under `recordDir`.
std::vector<LaunchRecord> readLaunchRecords(const std::string& recordDir);

}  // namespace testing_support
