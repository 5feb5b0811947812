// What platform_posix.cpp offers the other POSIX files of zub besides
// platform.h: opening a file by its name in a folder held as a descriptor,
// which Windows, having no folder descriptors, has no use for.
#pragma once

#include <sys/stat.h>

#include <cstdio>

namespace zub {
namespace platform {

// A caller's own check of a file openRegularFileAt() has opened, before
// anything is done to it: `folder` is the folder descriptor it was opened
// in, `file` what fstat() says of it, `writes` whether the mode writes.
// False turns the file away.
using OpenedFileCheck = bool (*)(int folder, const struct stat& file, bool writes);

// Opens the existing regular file `name` in the folder of descriptor
// `folder` (AT_FDCWD: the working directory; `name` may be a path, as for
// openat()) with fopen mode `mode` ("r", "w", "a", each with an optional
// "+" and "b"). Never follows a link in the last component, never blocks,
// never creates; the descriptor is close-on-exec. `accept`, when given,
// then sees the file and may turn it away; only after that does "w" empty
// it. nullptr for anything else, errno saying why: EINVAL for an unknown
// mode, EISDIR for a folder, ENXIO for a fifo, socket or device, EACCES
// when `accept` refuses, the system's error when the open itself fails
// (ELOOP for a link). The caller closes the stream.
FILE* openRegularFileAt(int folder, const char* name, const char* mode,
                        OpenedFileCheck accept = nullptr);

}  // namespace platform
}  // namespace zub
