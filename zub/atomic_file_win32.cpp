#include "zub/atomic_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "zub/atomic_file_internal.h"
#include "zub/wide_win32.h"

namespace zub {
namespace {

// Removes the temporaries of `path` that earlier saves left: saves run one
// at a time, and a temporary whose writer still runs is open in it, so the
// delete fails for that one alone.
void removeStaleTemporaries(const std::string& path) {
  const std::string prefix = temporaryPrefix(path);
  const size_t folderEnd = path.find_last_of("/\\");
  const std::string folder = folderEnd == std::string::npos ? "" : path.substr(0, folderEnd + 1);
  WIN32_FIND_DATAW found;
  const std::wstring pattern = wide::filePath(prefix + "*");
  if (pattern.empty()) return;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = wide::toUtf8(found.cFileName, wcsnlen(found.cFileName, MAX_PATH));
    DeleteFileW(wide::filePath(folder + name).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A plain file: no directory, no link or junction.
bool isRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(wide::filePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                         FILE_ATTRIBUTE_DEVICE));
}

// Writes the content of `source` into `fd` from its start, piece by piece
// through one buffer, and commits it to disk; false when a piece does not
// reach the file. Text mode: each "\n" reaches the file as CR LF, as
// Windows programs write text.
bool writeText(int fd, const ContentSource& source) {
  // Saves run one at a time, so one buffer serves them all.
  static char piece[contentPieceCapacity];
  uint64_t offset = 0;
  for (;;) {
    const size_t n = source.fill(source.context, offset, piece, sizeof piece);
    if (n == 0) return _commit(fd) == 0;
    if (n > sizeof piece) return false;
    for (size_t done = 0; done < n;) {
      const int written = _write(fd, piece + done, static_cast<unsigned>(n - done));
      if (written <= 0) return false;
      done += static_cast<size_t>(written);
    }
    offset += n;
  }
}

// Writes the content to a new temporary beside `path`; its name, or the
// empty string (nothing left behind) on failure. `denied` tells whether
// the folder refused the new file.
std::string writeTemporary(const std::string& path, const ContentSource& source,
                           bool& denied, bool locked) {
  denied = false;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = locked && attempt == 0 ? lockedTemporaryName(path) : temporaryName(path);
    if (locked && attempt == 0) DeleteFileW(wide::filePath(temporary).c_str());
    fd = _wopen(wide::filePath(temporary).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT,
                _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST) {
      denied = errno == EACCES;
      return std::string();
    }
  }
  if (fd < 0) return std::string();
  bool ok = writeText(fd, source);
  if (_close(fd) != 0) ok = false;
  if (!ok) {
    DeleteFileW(wide::filePath(temporary).c_str());
    return std::string();
  }
  return temporary;
}

// MOVEFILE_WRITE_THROUGH returns only once the move is on disk.
bool moveInto(const std::string& temporary, const std::string& path, DWORD flags) {
  if (MoveFileExW(wide::filePath(temporary).c_str(), wide::filePath(path).c_str(), flags | MOVEFILE_WRITE_THROUGH)) return true;
  DeleteFileW(wide::filePath(temporary).c_str());
  return false;
}

// replaceFile() past the checks and the sweep.
bool replaceRegularFile(const std::string& path, const ContentSource& source, bool locked) {
  bool denied = false;
  const std::string temporary = writeTemporary(path, source, denied, locked);
  if (!temporary.empty()) return moveInto(temporary, path, MOVEFILE_REPLACE_EXISTING);
  // A folder that takes no new file while the file itself may be written:
  // the file is rewritten where it is, the one way the save can happen.
  if (!denied || !isWritableFile(path.c_str())) return false;
  const int fd = _wopen(wide::filePath(path).c_str(), _O_WRONLY | _O_TRUNC | _O_TEXT);
  if (fd < 0) return false;
  bool ok = writeText(fd, source);
  if (_close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

bool replaceFile(const std::string& path, const ContentSource& source, const FolderLock& lock) {
  if (!isRegularFile(path)) return false;
  if (sweptFiles().insert(path).second) removeStaleTemporaries(path);
  const bool replaced = replaceRegularFile(path, source, lock.held());
  if (!replaced) sweptFiles().erase(path);
  return replaced;
}

// Windows has no folder descriptors: the file is named by its path.
bool replaceFileIn(intptr_t, const std::string& folderPath, const std::string& name,
                   const ContentSource& source, const FolderLock& lock, int* error) {
  if (error != nullptr) *error = 0;
  return replaceFile(folderPath + "\\" + name, source, lock);
}

bool createFile(const std::string& path, const ContentSource& source, const FolderLock& lock) {
  if (GetFileAttributesW(wide::filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  bool denied = false;
  const std::string temporary = writeTemporary(path, source, denied, lock.held());
  // Without MOVEFILE_REPLACE_EXISTING the move fails when anything has
  // appeared at `path` meanwhile.
  return !temporary.empty() && moveInto(temporary, path, 0);
}

bool isWritableFile(const char* path) {
  const DWORD attributes = GetFileAttributesW(wide::filePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

}  // namespace zub
