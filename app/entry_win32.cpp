// A program for the graphical subsystem starts here rather than in main().
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/entry.h"
#include "zub/wide_win32.h"

namespace {

// A windowed program has no console of its own, so its standard output
// leads nowhere unless it was redirected. Started from a console, it
// writes to that console, so the start-up lines are seen there as well.
void attachParentConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (std::freopen("CONOUT$", "w", stdout) == nullptr) return;
  std::freopen("CONOUT$", "w", stderr);
}

// DLLs loaded by name come from System32 only from here on: the program's
// own folder (a zip unpacked into Downloads beside anything) and the
// working folder are never searched. OpenGL, GLU, the multimedia timer and
// the hashing DLL are delay-loaded, so the first of them loads after this
// (cmake/delay_import.cmake). A Windows 7 without the update that brought
// the call still drops the working folder from the search.
void limitDllSearch() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDirectories = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDirectories == nullptr || !setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    SetDllDirectoryW(L"");
}

// The command line split the usual way, from its wide form: an argument
// in any script arrives whole, in UTF-8. Kept for the life of the process.
std::vector<std::string>& utf8Arguments() {
  static std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wideArguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wideArguments == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(zub::wide::toUtf8(wideArguments[i]));
  LocalFree(wideArguments);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  limitDllSearch();
  attachParentConsole();
  std::vector<std::string>& arguments = utf8Arguments();
  static std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return runBrowser(static_cast<int>(arguments.size()), argv.data());
}
