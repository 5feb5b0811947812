// The Windows side of the test support: the environment, and what stands
// in for a check run as another user. Child processes and the recorder
// script of process.h are POSIX-only; the Windows launch recorder is in
// launch_recorder_win32.cpp.
#include <windows.h>
#include <stdlib.h>

#include <string>

#include "tests/support/platform.h"
#include "tests/support/support.h"
#include "zub/wide_win32.h"

namespace testing_support {

void putVariable(const std::string& name, const std::optional<std::string>& value) {
  // The runtime's environment cannot hold an empty value: "NAME=" removes
  // the variable, exactly as for no value. Wide, so a value in any script
  // (a Cyrillic user folder) is set whole.
  std::wstring wideName, wideValue;
  if (!zub::wide::fromUtf8(name, wideName) || !zub::wide::fromUtf8(value ? *value : "", wideValue))
    return;
  _wputenv_s(wideName.c_str(), wideValue.c_str());
}

bool environmentHoldsEmptyValues() { return false; }
bool workingDirectoryCanVanish() { return false; }
bool giveToCheckUser(const std::string&) { return true; }
bool runsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
bool nameAllowed(const std::string& name) {
  // Names are UTF-8 inside the program; other bytes name no file.
  std::wstring wideName;
  if (!zub::wide::fromUtf8(name, wideName)) return false;
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
