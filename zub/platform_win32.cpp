#include "zub/platform.h"

#include <windows.h>

#include <vector>

namespace zub {
namespace platform {

char nativeSeparator() { return '\\'; }

std::string workingDirectory() {
  // The call says how large a buffer it needs; a directory that changes
  // between the two calls just goes round once more.
  std::vector<char> buffer(1024);
  for (;;) {
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

bool makeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool pathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool readableFile(const char* path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open at all;
  // the type check turns away consoles, pipes and devices ("CON", "NUL",
  // "\\.\pipe\x"), none of which is a settings file. Sharing everything
  // keeps a file that another program holds open readable.
  const HANDLE file = CreateFileA(path, GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return disk;
}

}  // namespace platform
}  // namespace zub
