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

std::string firstDirectory(int argc, char** argv) {
  if (argc >= 2) return argv[1] ? argv[1] : "";
  return ".";
}

void printStartupLines(const char* programPath) {
  std::printf("\n");
  std::printf("%s - by %s\n", zub::baseName(programPath).c_str(), authorCredit);
  std::printf("       usage:  %s <path>\n", zub::baseName(programPath).c_str());
  std::printf("\n");
  // Whoever reads these through a pipe should not wait for the exit.
  std::fflush(stdout);
}
