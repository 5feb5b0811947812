#include "zub/file_lock.h"

#include <windows.h>

#include "zub/digest.h"
#include "zub/path.h"

namespace zub {
namespace {

void release(intptr_t handle) {
  if (handle == -1) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(handle);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

}  // namespace

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    release(handle);
    handle = other.handle;
    other.handle = -1;
  }
  return *this;
}

FolderLock::~FolderLock() { release(handle); }

FolderLock lockFolderOf(const std::string& filePath) {
  const std::string folder = folderOf(filePath);
  // A mutex rather than a lock file: nothing in the folder to plant, and
  // a holder that dies leaves it abandoned, which the next waiter takes.
  const std::string name = "Local\\orchard.menu-" + digestHex(folder);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return FolderLock();
  const DWORD waited = WaitForSingleObject(mutex, 2000);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return FolderLock();
  }
  return FolderLock(reinterpret_cast<intptr_t>(mutex));
}

// Windows has no folder descriptors: the folder is named by its path.
FolderLock lockFolder(intptr_t, const std::string& folderPath, const std::string&) {
  return lockFolderOf(folderPath + "\\");
}

}  // namespace zub
