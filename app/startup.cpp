#include "app/startup.h"

#include <cstdio>

#include "browser/browser_state.h"
#include "zub/path.h"

namespace {
constexpr char authorCredit[] = "the orchard.menu developers <dev@orchard.menu>";
}

void copyArguments(int argc, char** argv) {
  browserState.argumentCount = argc;
  browserState.arguments.resize(argc > 0 ? static_cast<std::size_t>(argc) : 0);
  for (int i = 0; i < argc; ++i) {
    browserState.arguments[static_cast<std::size_t>(i)] = argv[i] ? argv[i] : "";
  }
}

const char* firstDirectory() {
  if (browserState.argumentCount >= 2 && browserState.arguments.size() >= 2)
    return browserState.arguments[1].c_str();
  return ".";
}

void openFirstDirectory(void* path) { openDirectory(static_cast<const char*>(path), browserState); }

void printStartupLines(const char* programPath) {
  std::printf("\n");
  std::printf("%s - by %s\n", zub::baseName(programPath).c_str(), authorCredit);
  std::printf("       usage:  %s <path>\n", zub::baseName(programPath).c_str());
  std::printf("\n");
  // Whoever reads these through a pipe should not wait for the exit.
  std::fflush(stdout);
}
