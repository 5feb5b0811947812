// The file itself goes to the shell's "open" operation, which runs a
// program and opens anything else with the application registered for its
// type. It never passes through cmd.exe: the command interpreter would
// expand %VAR% and act on & | ^ ( ) inside a file name, so a file named
// "a&calc.txt" would become a command.
#include "app/launch.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "zub/path.h"

void launchFile(const std::string& fullPath) {
  if (fullPath.empty() || fullPath.find('\0') != std::string::npos) return;

  // Some shell handlers are COM objects that want a single-threaded
  // apartment on the calling thread; it is set up once and kept.
  static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  (void)com;

  const std::string workingDir = zub::currentDir();
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // No message box when no application is registered for the file: a
  // launch that fails shows nothing, and the file stays marked.
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = fullPath.c_str();
  info.lpDirectory = workingDir.empty() ? nullptr : workingDir.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);
}
