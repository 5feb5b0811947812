#include "zub/dir_stream.h"

#include <dirent.h>

#include <cerrno>
#include <new>

namespace zub {

struct DirStream {
  DIR* dir;
  const dirent* current;
  DirEntry entry;
};

DirStream* openDir(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    errno = EINVAL;
    return nullptr;
  }
  DIR* dir = opendir(name);
  if (dir == nullptr) return nullptr;
  DirStream* stream = new (std::nothrow) DirStream{dir, nullptr, DirEntry{nullptr}};
  if (stream == nullptr) {
    closedir(dir);
    errno = ENOMEM;
  }
  return stream;
}

const DirEntry* readDir(DirStream* stream) {
  if (stream == nullptr) {
    errno = EBADF;
    return nullptr;
  }
  stream->current = readdir(stream->dir);
  if (stream->current == nullptr) return nullptr;
  stream->entry.name = stream->current->d_name;
  return &stream->entry;
}

EntryKind entryKind(const DirStream& stream) {
  if (stream.current == nullptr) return EntryKind::unknown;
  switch (stream.current->d_type) {
    case DT_DIR: return EntryKind::directory;
    case DT_LNK: return EntryKind::link;
    case DT_UNKNOWN: return EntryKind::unknown;
    default: return EntryKind::other;
  }
}

int closeDir(DirStream* stream) {
  if (stream == nullptr) {
    errno = EBADF;
    return -1;
  }
  const int result = closedir(stream->dir);
  delete stream;
  if (result != 0) errno = EBADF;
  return result == 0 ? 0 : -1;
}

}  // namespace zub
