#include "zub/file_stamp.h"

#include <windows.h>
#include <io.h>

#include "zub/wide_win32.h"

namespace zub {
namespace {

uint64_t combine(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

FileStamp stampOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO times;
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times))
    return FileStamp();
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = combine(info.nFileIndexHigh, info.nFileIndexLow);
  stamp.size = combine(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.modified = static_cast<uint64_t>(times.LastWriteTime.QuadPart);
  stamp.changed = static_cast<uint64_t>(times.ChangeTime.QuadPart);
  return stamp;
}

}  // namespace

FileStamp stampOf(const std::string& path) {
  const HANDLE file = CreateFileW(wide::filePath(path).c_str(), FILE_READ_ATTRIBUTES,
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

// Windows has no folder descriptors: the file is named by its path.
FileStamp stampIn(intptr_t, const std::string& folderPath, const std::string& name) {
  return stampOf(folderPath + "\\" + name);
}

}  // namespace zub
