#include <fcntl.h>
#include <unistd.h>

#include "zub/fs.h"
#include "zub/path.h"

namespace zub {

std::vector<char> entriesAreDirs(const std::string& dir,
                                 const std::vector<std::string>& names,
                                 const std::vector<EntryKind>& kinds) {
  const bool kindsKnown = kinds.size() == names.size();
  std::vector<char> result(names.size(), 0);
  // opendir() is open(O_DIRECTORY) plus a buffer; the open alone gives the
  // same answer, and openat() spares resolving the directory part each time.
  // O_PATH: a directory we may search but not list still answers for its
  // entries, exactly as full paths through it would.
  const int dirFd = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (size_t i = 0; i < names.size(); ++i) {
    if (kindsKnown && kinds[i] == EntryKind::other) continue;
    const std::string& name = names[i];
    if (dirFd < 0 || name.empty() || name.find('/') != std::string::npos) {
      result[i] = isDir(join(nativeSeparator(), dir.c_str(), name.c_str(), nullptr).c_str());
      continue;
    }
    if (kindsKnown && kinds[i] == EntryKind::directory) {
      // Known to be a directory: it opens for listing exactly when we may
      // read it, which faccessat() answers without making a descriptor.
      result[i] = faccessat(dirFd, name.c_str(), R_OK, 0) == 0;
      continue;
    }
    const int fd = openat(dirFd, name.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      result[i] = 1;
      close(fd);
    }
  }
  if (dirFd >= 0) close(dirFd);
  return result;
}

}  // namespace zub
