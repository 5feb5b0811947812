#include "app/background.h"

#include <pthread.h>

#include <cstdlib>

namespace {

pthread_t worker;
bool running = false;

void* runWork(void* work) {
  reinterpret_cast<void (*)()>(work)();
  return nullptr;
}

}  // namespace

void startBackgroundWork(void (*work)()) {
  // Registered once, before anything the toolkit registers, so it runs
  // after the toolkit's exit handlers and before the statics go.
  static const bool joinAtExit = std::atexit(finishBackgroundWork) == 0;
  if (!joinAtExit ||
      pthread_create(&worker, nullptr, runWork, reinterpret_cast<void*>(work)) != 0) {
    work();
    return;
  }
  running = true;
}

void finishBackgroundWork() {
  if (!running) return;
  running = false;
  pthread_join(worker, nullptr);
}
