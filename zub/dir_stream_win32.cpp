// Windows has no opendir/readdir/closedir; the stream is the platform's
// wide-character file search, started on the pattern "<name>\*", and each
// name is handed out in UTF-8.
#include "zub/dir_stream.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zub/wide_win32.h"

namespace zub {

struct DirStream {
  intptr_t findHandle;  // -1: no search running
  WIN32_FIND_DATAW findData;
  DirEntry entry;       // entry.name is null until the first readDir()
  // findData.cFileName in UTF-8: at most three bytes per UTF-16 unit.
  char name[3 * MAX_PATH + 1];
};

namespace {

constexpr intptr_t noSearch = -1;

// errno for what the search reported, so that callers see the same kind of
// failure as from a POSIX opendir.
int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NO_MORE_FILES:
      return ENOENT;
    case ERROR_DIRECTORY:
    case ERROR_INVALID_NAME:  // a file's name followed by "/*"
      return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EINVAL;
  }
}

}  // namespace

DirStream* openDir(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    errno = EINVAL;
    return nullptr;
  }
  // A name that is not UTF-8 names nothing: it is never searched for as
  // some other name.
  std::wstring pattern = wide::filePath(name);
  if (pattern.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';

  DirStream* stream = static_cast<DirStream*>(std::calloc(1, sizeof(DirStream)));
  if (stream == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  // The basic information level skips the 8.3 names, which nothing here
  // reads; large fetches cut the round trips on big directories.
  const HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &stream->findData,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = errnoOf(GetLastError());
    std::free(stream);
    errno = error;
    return nullptr;
  }
  stream->findHandle = reinterpret_cast<intptr_t>(handle);
  stream->entry.name = nullptr;
  return stream;
}

const DirEntry* readDir(DirStream* stream) {
  if (stream == nullptr || stream->findHandle == noSearch) {
    errno = EBADF;
    return nullptr;
  }
  // The first read hands out the match the search started with.
  if (stream->entry.name != nullptr &&
      !FindNextFileW(reinterpret_cast<HANDLE>(stream->findHandle), &stream->findData)) {
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) errno = errnoOf(error);
    return nullptr;
  }
  const wchar_t* found = stream->findData.cFileName;
  const std::string name = wide::toUtf8(found, wcsnlen(found, MAX_PATH));
  std::memcpy(stream->name, name.c_str(), name.size() + 1);
  stream->entry.name = stream->name;
  return &stream->entry;
}

EntryKind entryKind(const DirStream& stream) {
  if (stream.entry.name == nullptr) return EntryKind::unknown;
  const DWORD attributes = stream.findData.dwFileAttributes;
  // A junction or directory link carries the directory bit as well; either
  // way isDir() has the last word on directories.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::directory;
  return EntryKind::other;
}

int closeDir(DirStream* stream) {
  if (stream == nullptr) {
    errno = EBADF;
    return -1;
  }
  int result = -1;
  if (stream->findHandle != noSearch)
    result = FindClose(reinterpret_cast<HANDLE>(stream->findHandle)) ? 0 : -1;
  std::free(stream);
  if (result == -1) errno = EBADF;
  return result;
}

}  // namespace zub
