#include "zub/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zub {
namespace platform {

char nativeSeparator() { return '/'; }

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

std::string workingDirectory() {
  // Grow the buffer until the directory fits: a deep working directory is
  // no reason to answer with nothing.
  std::vector<char> buffer(1024);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

namespace {

// The folder of `path`: its text up to the last '/', "." when it has none.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The users whose settings files this process works on: itself, and, for
// root, the owner of $HOME too. Root run with a user's HOME (sudo -E) is
// that user's helper: it reads and replaces that user's files as the user
// would, instead of treating them as planted by a stranger.
bool userOwns(uid_t owner) {
  const uid_t self = geteuid();
  if (owner == self) return true;
  if (self != 0) return false;
  const char* home = std::getenv("HOME");
  struct stat st;
  return home != nullptr && stat(home, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == owner;
}

// A folder that only the user, or root, can take files out of or put them
// into. Group write is allowed for the user's own group, which is the
// user's private group wherever umask 002 makes folders group-writable.
bool privateFolder(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if ((st.st_uid != geteuid() && st.st_uid != 0) || (st.st_mode & S_IWOTH) != 0) return false;
  return (st.st_mode & S_IWGRP) == 0 || st.st_gid == getegid();
}

// A folder in which the user's settings files may lie: the user's or root's.
bool usersFolder(const std::string& folder) {
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         (st.st_uid == 0 || userOwns(st.st_uid));
}

// A link may be followed only where no one but the user could have put it
// or could swap it: the user's own (or root's) in a private folder. Anyone
// else's link could lead the next save onto any file the user may write.
bool trustedLink(const struct stat& link, const std::string& folder) {
  return (link.st_uid == geteuid() || link.st_uid == 0) && privateFolder(folder);
}

// As the kernel would resolve them; a longer chain is taken for a loop.
constexpr int maxLinks = 40;

struct LinkWalk {
  std::string path;  // with every link resolved; empty on failure
  bool followedLink = false;
  std::string problem;
};

void pushComponents(const std::string& path, std::vector<std::string>& pending) {
  size_t end = path.size();
  while (end > 0) {
    const size_t slash = path.rfind('/', end - 1);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (end > start) pending.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    end = slash;
  }
}

// `path` with every link on the way to it, the last component's included,
// resolved one by one, each checked by trustedLink(). The walk is done by
// hand because realpath() would follow any link at all. Fails, saying why,
// when something on the way is missing or a link is not trusted.
LinkWalk followTrustedLinks(const std::string& path) {
  LinkWalk walk;
  if (path.empty()) {
    walk.problem = "an empty path";
    return walk;
  }
  // Components still to walk, the next one last. `resolved` never holds a
  // link, so ".." can drop its last component.
  std::vector<std::string> pending;
  pushComponents(path, pending);
  std::string resolved = path[0] == '/' ? "" : ".";
  int links = 0;
  while (!pending.empty()) {
    const std::string component = std::move(pending.back());
    pending.pop_back();
    if (component == ".") continue;
    if (component == "..") {
      if (resolved.empty()) continue;  // the root is its own parent
      const size_t slash = resolved.rfind('/');
      const std::string last = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
      // Above the working directory a relative path keeps its "..".
      if (last != "." && last != "..") {
        resolved.erase(slash);
        continue;
      }
    }
    const std::string next = resolved + "/" + component;
    struct stat st;
    if (lstat(next.c_str(), &st) != 0) {
      walk.problem = next + ": " + std::strerror(errno);
      return walk;
    }
    if (!S_ISLNK(st.st_mode)) {
      resolved = next;
      continue;
    }
    const std::string folder = resolved.empty() ? "/" : resolved;
    if (++links > maxLinks) {
      walk.problem = path + ": too many links";
      return walk;
    }
    if (!trustedLink(st, folder)) {
      walk.problem = next + ": a link that others could have made or may change";
      return walk;
    }
    // Some file systems report no size for their links.
    std::vector<char> target(std::max<size_t>(static_cast<size_t>(st.st_size) + 2, 4096));
    const ssize_t length = readlink(next.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
      walk.problem = next + ": a link that changed while it was read";
      return walk;
    }
    const std::string text(target.data(), static_cast<size_t>(length));
    if (text[0] == '/') resolved.clear();
    pushComponents(text, pending);
    walk.followedLink = true;
  }
  walk.path = resolved.empty() ? "/" : resolved;
  return walk;
}

// Makes directory `path` with `mode`, exactly that (whatever the umask)
// when `exact`; as root in another user's folder, hands it to that folder's
// owner and group before anything is put in it.
bool makeFolder(const char* path, mode_t mode, bool exact) {
  if (mkdir(path, mode) != 0) return false;
  bool ok = true;
  struct stat parent;
  if (geteuid() == 0 && stat(folderOf(path).c_str(), &parent) == 0 && parent.st_uid != 0) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ok = fd >= 0 && fchown(fd, parent.st_uid, parent.st_gid) == 0;
    if (fd >= 0) close(fd);
  }
  if (ok && exact) ok = fchmodat(AT_FDCWD, path, mode, AT_SYMLINK_NOFOLLOW) == 0;
  // Rather no folder than one of root's among the user's files, or a
  // settings folder that is not the user's alone.
  if (!ok) rmdir(path);
  return ok;
}

}  // namespace

bool makeDirectory(const char* path) { return makeFolder(path, 0777, false); }

bool makeSettingsFolder(const char* path) { return makeFolder(path, 0700, true); }

bool pathExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool readableFile(const char* path) {
  // O_NONBLOCK keeps a fifo without a writer from hanging the open.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

std::string usableSettingsFile(const std::string& path) {
  const LinkWalk walk = followTrustedLinks(path);
  if (walk.path.empty()) return std::string();
  const std::string file = walk.followedLink ? walk.path : path;
  // Checked on what is opened, not on the name: in a folder others may
  // write, the name may be given to another file at any moment.
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string();
  struct stat st;
  const bool own = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && userOwns(st.st_uid);
  close(fd);
  return own && usersFolder(folderOf(walk.path)) ? file : std::string();
}

std::string newSettingsFilePath(const std::string& path, std::string& problem) {
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const LinkWalk walk = followTrustedLinks(folderOf(path));
  if (walk.path.empty()) {
    problem = walk.problem;
    return std::string();
  }
  if (!usersFolder(walk.path)) {
    problem = walk.path + ": not a folder of the user's";
    return std::string();
  }
  const std::string place =
      !walk.followedLink ? path : (walk.path == "/" ? "" : walk.path) + "/" + name;
  struct stat st;
  if (lstat(place.c_str(), &st) == 0) {
    problem = place + ": taken by something that is not a usable settings file";
    return std::string();
  }
  if (errno != ENOENT) {
    problem = place + ": " + std::strerror(errno);
    return std::string();
  }
  return place;
}

FILE* openRegularFile(const char* path, const char* mode) {
  const bool update = std::strchr(mode, '+') != nullptr;
  int flags = update ? O_RDWR : O_WRONLY;
  switch (mode[0]) {
    case 'r': flags = update ? O_RDWR : O_RDONLY; break;
    case 'w': break;
    case 'a': flags |= O_APPEND; break;
    default: return nullptr;
  }
  // O_NONBLOCK: a fifo without a writer must not hang the open; it is
  // turned away by the fstat that follows, like a device or a directory.
  const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !userOwns(st.st_uid) ||
      (mode[0] == 'w' && ftruncate(fd, 0) != 0)) {
    close(fd);
    return nullptr;
  }
  FILE* stream = fdopen(fd, mode);
  if (stream == nullptr) close(fd);
  return stream;
}

bool environmentVariable(const char* name, std::string& value) {
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  value = found;
  return true;
}

}  // namespace platform
}  // namespace zub
