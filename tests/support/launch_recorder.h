// The launch recorder: a stand-in for the application the system hands a
// file to, installed for the lifetime of the object, which writes down
// every run (see LaunchRecord in tests/support/process.h). One realisation
// per platform, picked by CMake:
//   POSIX (launch_recorder_posix.cpp): recorderScript() posing as
//     xdg-open in <folder>/bin, put first on PATH, its records under
//     <folder>/record (LAUNCH_RECORD).
//   Windows (launch_recorder_win32.cpp): launch_recorder.exe, copied from
//     beside the running test program into <folder>, registered as the
//     application of the file type; its records under <folder>\records.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/support.h"

namespace testing_support {

class LaunchRecorder {
 public:
  LaunchRecorder() = default;
  // Puts back what install() changed in the system (Windows: the file
  // type's application); `env` puts back the environment.
  ~LaunchRecorder();
  LaunchRecorder(const LaunchRecorder&) = delete;
  LaunchRecorder& operator=(const LaunchRecorder&) = delete;

  // Installs the stand-in in `folder` (made when missing) for files whose
  // names end in `extension` (".txt"; POSIX: every file that goes to the
  // opener). With `copyFile` set every run also records that file's
  // content as it was when the run started. Environment changes go
  // through `env`. False when the stand-in could not be installed.
  bool install(const std::string& folder, const std::string& extension, EnvGuard& env,
               const std::string& copyFile = "");

  // Every finished run so far, in no particular order. Each has its
  // `arguments` (the opener's, without a program name) and `copiedFile`
  // (read as text: Windows' CR LF line ends come back as "\n"); the other
  // fields are filled only where the platform records them.
  std::vector<LaunchRecord> records() const;

 private:
  std::string folder_;
  std::string extension_;
  std::string previousType_;     // Windows: the file type's former class
  bool typeKeyExisted_ = false;  // Windows: the file type had a key
  bool hadType_ = false;         // Windows: ... naming a class
  bool registered_ = false;      // Windows: install() registered the type
};

}  // namespace testing_support
