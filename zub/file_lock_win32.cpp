#include "zub/file_lock.h"

#include <windows.h>
#include <io.h>

#include "zub/digest.h"
#include "zub/wide_win32.h"

namespace zub {
namespace {

uint64_t combine(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

FileStamp stampFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = combine(info.nFileIndexHigh, info.nFileIndexLow);
  stamp.size = combine(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.modified = combine(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  stamp.changed = combine(info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime);
  return stamp;
}

FileStamp stampOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) return FileStamp();
  return stampFrom(info);
}

}  // namespace

FolderLock lockFolderOf(const std::string& filePath) {
  FolderLock lock;
  const size_t end = filePath.find_last_of("/\\");
  const std::string folder = end == std::string::npos ? "." : filePath.substr(0, end);
  // A mutex rather than a lock file: nothing in the folder to plant, and
  // a holder that dies leaves it abandoned, which the next waiter takes.
  const std::string name = "Local\\orchard.menu-" + digestHex(folder);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return lock;
  const DWORD waited = WaitForSingleObject(mutex, 2000);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return lock;
  }
  lock.handle = reinterpret_cast<intptr_t>(mutex);
  return lock;
}

void unlockFolder(FolderLock& lock) {
  if (lock.handle == -1) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(lock.handle);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  lock.handle = -1;
}

FileStamp stampOf(const std::string& path) {
  const HANDLE file = CreateFileW(wide::filePath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const FileStamp stamp = stampOfHandle(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return stamp;
}

FileStamp stampOf(FILE* stream) {
  if (stream == nullptr) return FileStamp();
  return stampOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

}  // namespace zub
