#include "app/background.h"

#include <pthread.h>

#include <cstdlib>

namespace {

pthread_t worker;
bool running = false;

struct Work {
  void (*run)(void*);
  void* context;
};
Work work;

void* runWork(void* started) {
  const Work& given = *static_cast<const Work*>(started);
  given.run(given.context);
  return nullptr;
}

}  // namespace

void startBackgroundWork(void (*run)(void*), void* context) {
  // Registered once, before anything the toolkit registers, so it runs
  // after the toolkit's exit handlers and before the statics go.
  static const bool joinAtExit = std::atexit(finishBackgroundWork) == 0;
  work = Work{run, context};
  if (!joinAtExit || pthread_create(&worker, nullptr, runWork, &work) != 0) {
    run(context);
    return;
  }
  running = true;
}

void finishBackgroundWork() {
  if (!running) return;
  running = false;
  pthread_join(worker, nullptr);
}
