#include "app/leak_check.h"

#include <sanitizer/lsan_interface.h>

#include <cstdlib>

void checkLeaksBeforeToolkitExit() {
  // Exit handlers run last-registered first, so this one runs before the
  // handler glutInit registered. The check at exit then does not run again.
  std::atexit([] { __lsan_do_leak_check(); });
}
