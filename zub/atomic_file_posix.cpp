#include "zub/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace zub {
namespace {

// A name beside `path` that no other writer is likely to pick at the same
// moment; O_EXCL settles any clash that remains.
std::string temporaryName(const std::string& path) {
  static unsigned counter = 0;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned long mix = static_cast<unsigned long>(getpid()) * 2654435761ul;
  mix ^= static_cast<unsigned long>(now.tv_nsec) ^ (++counter * 40503ul);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08lx", mix & 0xFFFFFFFFul);
  return path + suffix;
}

bool writeAll(int fd, const std::string& content) {
  // A write past the file-size limit must fail with EFBIG, not end the
  // process through SIGXFSZ.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &previous);
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  sigaction(SIGXFSZ, &previous, nullptr);
  return done == content.size();
}

// Makes the rename itself durable; a failure here loses nothing that the
// rename has not already settled, so it is not reported.
void syncDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool replaceFile(const std::string& path, const std::string& content) {
  // Only a regular file hands on its mode; a link at `path` is replaced by
  // the new file, and whatever it pointed to stays as it was.
  struct stat old {};
  const bool keepMode = lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = temporaryName(path);
    // Mode 0666 lets the umask decide for a new file, as for any other.
    fd = open(temporary.c_str(),
              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = (!keepMode || fchmod(fd, old.st_mode & 0777) == 0) &&
            writeAll(fd, content) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  syncDirectory(path);
  return true;
}

bool isWritableFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, W_OK) == 0;
}

}  // namespace zub
