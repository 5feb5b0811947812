#include "zub/platform.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstring>
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

// The folder's access rules come from its parent, as for any other.
bool makeSettingsFolder(const char* path) { return makeDirectory(path); }

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

// Windows has no owner and mode bits that another user could plant a file
// past; the folder's access rules decide who may write there. A link or
// junction is passed over, as openRegularFile() and replaceFile() would
// refuse it anyway.
std::string usableSettingsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
    return std::string();
  return readableFile(path.c_str()) ? path : std::string();
}

std::string newSettingsFilePath(const std::string& path, std::string& problem) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  problem = path + ": taken by something that is not a usable settings file";
  return std::string();
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
  const HANDLE file = CreateFileA(path, access,
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

}  // namespace platform
}  // namespace zub
