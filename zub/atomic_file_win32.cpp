#include "zub/atomic_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace zub {
namespace {

// A name beside `path` that no other writer is likely to pick at the same
// moment; _O_EXCL settles any clash that remains.
std::string temporaryName(const std::string& path) {
  static unsigned counter = 0;
  unsigned long mix = GetCurrentProcessId() * 2654435761ul;
  mix ^= static_cast<unsigned long>(GetTickCount64()) ^ (++counter * 40503ul);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08lx", mix & 0xFFFFFFFFul);
  return path + suffix;
}

bool writeAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const size_t chunk = content.size() - done < (1u << 30) ? content.size() - done : (1u << 30);
    const int n = _write(fd, content.data() + done, static_cast<unsigned>(chunk));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool replaceFile(const std::string& path, const std::string& content) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = temporaryName(path);
    // Text mode: each "\n" reaches the file as CR LF, as Windows programs
    // write text.
    fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT,
               _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = writeAll(fd, content) && _commit(fd) == 0;
  if (_close(fd) != 0) ok = false;
  // MOVEFILE_WRITE_THROUGH returns only once the move is on disk.
  if (ok && !MoveFileExA(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
  }
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

bool isWritableFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

}  // namespace zub
