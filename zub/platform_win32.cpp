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

namespace {

// The code page names had before they were UTF-8: the system locale's ANSI
// code page. Not GetACP(): the manifest makes UTF-8 the process's own code
// page, which would hide the old one. 0 when there is none to go back to.
UINT legacyCodePage() {
  DWORD codePage = 0;
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)) == 0 ||
      codePage == CP_UTF8)
    return 0;
  return codePage;
}

}  // namespace

std::string legacyBytes(const std::string& utf8) {
  bool ascii = true;
  for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::wstring text;
  const UINT codePage = legacyCodePage();
  if (ascii || codePage == 0 || !wide::fromUtf8(utf8, text)) return std::string();
  // No best fit: a character the code page lacks leaves no old name.
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                      bytes.data(), size, nullptr, &lossy);
  return lossy ? std::string() : bytes;
}

}  // namespace platform
}  // namespace zub
