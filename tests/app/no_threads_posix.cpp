// Linked with -Wl,--wrap=pthread_create into a copy of the program: every
// thread the program's own code starts fails to start, as where no thread
// can be made (EAGAIN), so that its ways without them are the ones that
// run. The libraries' own threads are left alone.
#include <pthread.h>

#include <cerrno>

extern "C" int __wrap_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) {
  return EAGAIN;
}
