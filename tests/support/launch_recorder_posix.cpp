// The POSIX launch recorder: recorderScript() as xdg-open, first on PATH.
#include "tests/support/launch_recorder.h"

namespace testing_support {

LaunchRecorder::~LaunchRecorder() = default;

bool LaunchRecorder::install(const std::string& folder, const std::string& extension,
                             EnvGuard& env, const std::string& copyFile) {
  folder_ = folder;
  extension_ = extension;
  if (!makeDir(folder + "/bin") || !makeDir(folder + "/record")) return false;
  if (!writeExecutable(folder + "/bin/xdg-open", recorderScript(false, copyFile))) return false;
  env.set("PATH", folder + "/bin:/usr/bin:/bin");
  env.set("LAUNCH_RECORD", folder + "/record");
  return true;
}

std::vector<LaunchRecord> LaunchRecorder::records() const {
  return readLaunchRecords(folder_ + "/record");
}

}  // namespace testing_support
