#include "zub/platform.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <vector>

#include "zub/wide_win32.h"

namespace zub {
namespace platform {

void prepareProcess() {}

char nativeSeparator() { return '\\'; }

unsigned long processId() { return GetCurrentProcessId(); }

std::string workingDirectory() { return wide::toUtf8(wide::workingDirectory()); }

bool makeDirectory(const char* path) {
  return CreateDirectoryW(wide::filePath(path).c_str(), nullptr) != 0;
}

bool pathExists(const char* path) {
  return GetFileAttributesW(wide::filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool readableFile(const char* path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open at all;
  // the type check turns away consoles, pipes and devices ("CON", "NUL",
  // "\\.\pipe\x"), none of which is a settings file. Sharing everything
  // keeps a file that another program holds open readable.
  const HANDLE file = CreateFileW(wide::filePath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return disk;
}

FILE* openRegularFile(const char* path, const char* mode) {
  const bool update = std::strchr(mode, '+') != nullptr;
  const bool binary = std::strchr(mode, 'b') != nullptr;
  DWORD access = GENERIC_READ;
  int flags = _O_RDONLY;
  switch (mode[0]) {
    case 'r': break;
    case 'w': access = GENERIC_WRITE; flags = _O_WRONLY; break;
    case 'a': access = GENERIC_WRITE; flags = _O_WRONLY | _O_APPEND; break;
    default: return nullptr;
  }
  if (update) {
    access = GENERIC_READ | GENERIC_WRITE;
    flags = (flags & _O_APPEND) | _O_RDWR;
  }
  flags |= binary ? _O_BINARY : _O_TEXT;
  // The link itself is opened, not what it points to, and is then turned
  // away with directories, consoles, pipes and devices.
  const HANDLE file = CreateFileW(wide::filePath(path).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(file, &info) &&
                       !(info.dwFileAttributes &
                         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  if (!regular || (mode[0] == 'w' && !SetEndOfFile(file))) {
    CloseHandle(file);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
  if (fd < 0) {
    CloseHandle(file);
    return nullptr;
  }
  FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) _close(fd);
  return stream;
}

bool environmentVariable(const char* name, std::string& value) {
  std::wstring wideName;
  if (!wide::fromUtf8(name, wideName)) return false;
  std::vector<wchar_t> buffer(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(wideName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length < buffer.size()) {
      value = wide::toUtf8(buffer.data(), length);
      return true;
    }
    buffer.resize(length);
  }
}

// Sparse files are read through like any other.
bool skipHole(FILE*, uint64_t&) { return true; }

}  // namespace platform
}  // namespace zub
