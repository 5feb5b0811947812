// The Windows side of the test support: the environment, and what stands
// in for a check run as another user. Child processes and the recorder
// script of process.h are POSIX-only; the Windows launch recorder is in
// launch_recorder_win32.cpp.
#include <stdlib.h>

#include <string>

#include "tests/support/platform.h"
#include "tests/support/support.h"

namespace testing_support {

void putVariable(const std::string& name, const std::optional<std::string>& value) {
  // The runtime's environment cannot hold an empty value: "NAME=" removes
  // the variable, exactly as for no value.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
}

bool environmentHoldsEmptyValues() { return false; }
bool workingDirectoryCanVanish() { return false; }
bool giveToCheckUser(const std::string&) { return true; }
bool nameAllowed(const std::string& name) {
  if (name.empty() || name.back() == ' ' || name.back() == '.') return false;
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string("<>:\"/\\|?*").find(c) != std::string::npos)
      return false;
  return true;
}

ChildCheck runUnprivileged(const std::function<void(std::string&)>& check) {
  // What these checks rely on, the read-only attribute, binds every user,
  // administrators too; Windows has no fork, so the check runs right here.
  ChildCheck result;
  check(result.output);
  result.ran = true;
  return result;
}

}  // namespace testing_support
