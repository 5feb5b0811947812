#include "app/background.h"

#include <pthread.h>

#include <cstdlib>
#include <utility>

#include "browser/browser_state.h"

namespace {

pthread_t worker;
bool running = false;
// The path the open works on; the thread owns it until it is joined.
std::string firstPath;

void* openFirstDirectory(void*) {
  openDirectory(firstPath.c_str(), browserState);
  return nullptr;
}

}  // namespace

void startOpeningFirstDirectory(std::string path) {
  // Registered once, before anything the toolkit registers, so it runs
  // after the toolkit's exit handlers and before the statics go.
  static const bool joinAtExit = std::atexit(finishOpeningFirstDirectory) == 0;
  firstPath = std::move(path);
  if (!joinAtExit || pthread_create(&worker, nullptr, openFirstDirectory, nullptr) != 0) {
    openFirstDirectory(nullptr);
    return;
  }
  running = true;
}

void finishOpeningFirstDirectory() {
  if (!running) return;
  running = false;
  pthread_join(worker, nullptr);
}
