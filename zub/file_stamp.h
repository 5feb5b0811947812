// Whether a file changed since it was last read or written, as far as the
// file system tells: its identity, size and times. One realisation per
// platform (file_stamp_posix.cpp, file_stamp_win32.cpp), picked by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zub {

// Equal stamps mean the same content as far as the file system tells.
// `modified` is the time the content was last written; `changed` the time
// the content or the file's own record (owner, mode, links) last changed,
// on both platforms. A missing or unreadable file has exists false.
struct FileStamp {
  bool exists = false;
  uint64_t device = 0, inode = 0, size = 0, modified = 0, changed = 0;
  bool operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified == other.modified && changed == other.changed;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file at `path` (the link itself is not followed).
FileStamp stampOf(const std::string& path);
// The stamp of the file open as `stream`.
FileStamp stampOf(FILE* stream);
// The stamp of the file `name` in the folder open as `folder` (POSIX: its
// descriptor, the link itself not followed); where the platform has no
// folder descriptors (Windows, `folder` -1), of `folderPath` + `name`.
FileStamp stampIn(intptr_t folder, const std::string& folderPath, const std::string& name);

}  // namespace zub
