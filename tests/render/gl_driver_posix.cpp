// Keeps the OpenGL driver module loaded until the process is gone.
#include <dlfcn.h>
#include <link.h>

#include <cstring>

#include "tests/render/gl_canvas.h"

namespace {

int pinDriver(dl_phdr_info* info, size_t, void*) {
  if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "/dri/") != nullptr)
    dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  return 0;
}

}  // namespace

// The GL loader unloads the driver at exit, before the leak checker looks;
// the driver's own start-up allocations would then show up as leaks of an
// unknown module that no suppression can name. Every loaded driver module
// (".../dri/NAME_dri.so") is pinned so that its name stays on the record.
void keepGlDriverLoaded() { dl_iterate_phdr(pinDriver, nullptr); }
