#include "tests/app/recorder.h"

#include <dirent.h>

#include <sstream>

#include "tests/app/test_support.h"

namespace testing_support {

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
      "readlink /proc/$$/cwd > \"$out/cwd\"\n";
  if (!copyFile.empty()) {
    script += "cat '" + copyFile + "' > \"$out/copy\"\n";
  }
  script += ": > \"$out/done\"\n";
  return script;
}

namespace {

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

}  // namespace

std::vector<LaunchRecord> readLaunchRecords(const std::string& recordDir) {
  std::vector<LaunchRecord> records;
  DIR* dir = opendir(recordDir.c_str());
  if (!dir) return records;
  while (struct dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string base = recordDir + "/" + name + "/";
    if (!fileExists(base + "done")) continue;
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
    const std::string stat = readFile(base + "stat");
    const std::size_t close = stat.rfind(')');
    if (close != std::string::npos) {
      std::istringstream fields(stat.substr(close + 1));
      char state = 0;
      long ppid = 0, group = 0, session = 0;
      fields >> state >> ppid >> group >> session;
      record.processGroup = static_cast<pid_t>(group);
      record.session = static_cast<pid_t>(session);
    }
    records.push_back(record);
  }
  closedir(dir);
  return records;
}

}  // namespace testing_support
