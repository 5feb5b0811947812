// Windows has no opendir/readdir/closedir; the stream is the platform's
// file search, started on the pattern "<name>/*".
#include "zub/dir_stream.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zub {

struct DirStream {
  intptr_t findHandle;  // -1: no search running
  WIN32_FIND_DATAA findData;
  DirEntry entry;       // entry.name is null until the first readDir()
  char* pattern;
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
  const size_t length = std::strlen(name);
  const char last = name[length - 1];
  const char* suffix = (last == '/' || last == '\\') ? "*" : "/*";

  DirStream* stream = static_cast<DirStream*>(std::calloc(1, sizeof(DirStream)));
  char* pattern = static_cast<char*>(std::malloc(length + std::strlen(suffix) + 1));
  if (stream == nullptr || pattern == nullptr) {
    std::free(pattern);
    std::free(stream);
    errno = ENOMEM;
    return nullptr;
  }
  std::memcpy(pattern, name, length);
  std::strcpy(pattern + length, suffix);
  stream->pattern = pattern;

  // The basic information level skips the 8.3 names, which nothing here
  // reads; large fetches cut the round trips on big directories.
  const HANDLE handle = FindFirstFileExA(pattern, FindExInfoBasic, &stream->findData,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = errnoOf(GetLastError());
    std::free(pattern);
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
      !FindNextFileA(reinterpret_cast<HANDLE>(stream->findHandle), &stream->findData)) {
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) errno = errnoOf(error);
    return nullptr;
  }
  stream->entry.name = stream->findData.cFileName;
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
  std::free(stream->pattern);
  std::free(stream);
  if (result == -1) errno = EBADF;
  return result;
}

}  // namespace zub
