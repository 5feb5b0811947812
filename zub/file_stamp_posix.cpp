#include "zub/file_stamp.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace zub {
namespace {

uint64_t nanoseconds(const timespec& time) {
  return static_cast<uint64_t>(time.tv_sec) * 1000000000u + static_cast<uint64_t>(time.tv_nsec);
}

FileStamp stampFrom(const struct stat& st) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified = nanoseconds(st.st_mtim);
  stamp.changed = nanoseconds(st.st_ctim);
  return stamp;
}

}  // namespace

FileStamp stampOf(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return FileStamp();
  return stampFrom(st);
}

FileStamp stampOf(FILE* stream) {
  struct stat st;
  if (stream == nullptr || fstat(fileno(stream), &st) != 0) return FileStamp();
  return stampFrom(st);
}

FileStamp stampIn(intptr_t folder, const std::string& folderPath, const std::string& name) {
  if (folder == -1) return stampOf(folderPath + "/" + name);
  struct stat st;
  if (fstatat(static_cast<int>(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return FileStamp();
  return stampFrom(st);
}

}  // namespace zub
