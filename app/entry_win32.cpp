// A program for the graphical subsystem starts here rather than in main().
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/entry.h"

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

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  attachParentConsole();
  // The runtime has already split the command line the usual way.
  return runBrowser(__argc, __argv);
}
