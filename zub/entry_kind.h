// What a directory listing itself tells about an entry. Below fs.h, so
// that the directory streams and the batch checks under it need nothing
// from above.
#pragma once

#include <cstdint>

namespace zub {

// What the listing says about an entry, without a further call.
enum class EntryKind : uint8_t {
  unknown,    // the file system did not say: ask isDir()
  directory,  // may still be unreadable: ask isDir()
  link,       // may point to a directory: ask isDir()
  other,      // regular file, fifo, socket, device: never a directory stream
};

}  // namespace zub
