#include "app/entry.h"
#include "zub/platform.h"

int main(int argc, char** argv) {
  // Before anything writes: a write past the file-size limit must fail as
  // an error, never end the program with its marks unsaved.
  zub::platform::prepareProcess();
  return runBrowser(argc, argv);
}
