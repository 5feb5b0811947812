#include "zub/settings_trust.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "zub/path.h"
#include "zub/platform_posix.h"

namespace zub {
namespace {

// The user whose settings files these are, as the checks below see them.
struct User {
  uid_t uid = 0;
  gid_t gid = 0;               // primary group: the one group that may write
  std::vector<gid_t> groups;   // every group, for acting as the user
  bool other = false;          // root working for the owner of $HOME
  int homeFd = -1;             // $HOME as opened once (openedHome()), owned
  std::string homePath;        // $HOME in the candidates' form
};

// $HOME opened once for each value the variable takes: whose settings
// these are is read from this descriptor, and every candidate under $HOME
// is walked from it, so that swapping the folder, or a link on the way to
// it, once the program runs changes neither.
struct OpenedHome {
  std::mutex guard;  // the first directory is opened on a second thread
  std::string value;
  bool set = false;
  int fd = -1;
};

// A descriptor of its own of $HOME as first opened, -1 when HOME is unset
// or names no folder; `path` gets HOME in the candidates' form.
int openedHome(std::string& path) {
  static OpenedHome home;
  const char* value = std::getenv("HOME");
  const std::lock_guard<std::mutex> hold(home.guard);
  if (value == nullptr || !home.set || home.value != value) {
    if (home.fd >= 0) close(home.fd);
    home.fd = value == nullptr ? -1 : open(value, O_PATH | O_DIRECTORY | O_CLOEXEC);
    home.set = value != nullptr;
    home.value = value == nullptr ? "" : value;
  }
  path = home.fd >= 0 ? toNative(home.value) : std::string();
  return home.fd >= 0 ? fcntl(home.fd, F_DUPFD_CLOEXEC, 0) : -1;
}

// The user database's primary group and groups of `uid`; those of $HOME's
// group alone when the database does not know the user.
void groupsOf(uid_t uid, gid_t homeGroup, User& user) {
  // Asked once per user and run: a toggle must not read the database.
  static std::map<uid_t, std::pair<gid_t, std::vector<gid_t>>> known;
  const auto found = known.find(uid);
  if (found != known.end()) {
    user.gid = found->second.first;
    user.groups = found->second.second;
    return;
  }
  user.gid = homeGroup;
  user.groups = {homeGroup};
  std::vector<char> buffer(16384);
  passwd entry{}, *result = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr) {
    user.gid = entry.pw_gid;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0 && count > 64) {
      groups.resize(static_cast<size_t>(count));
      getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<size_t>(std::max(count, 0)));
    user.groups = groups.empty() ? std::vector<gid_t>{entry.pw_gid} : groups;
  }
  known[uid] = {user.gid, user.groups};
}

// Itself; for root with the HOME of another user (sudo -E), that user:
// root is then that user's helper, and works on that user's files as the
// user would, instead of treating them as planted by a stranger.
User settingsUser() {
  User user;
  user.uid = geteuid();
  user.gid = getegid();
  user.homeFd = openedHome(user.homePath);
  struct stat st;
  if (user.uid != 0 || user.homeFd < 0 || fstat(user.homeFd, &st) != 0 || st.st_uid == 0)
    return user;
  user.uid = st.st_uid;
  user.other = true;
  groupsOf(st.st_uid, st.st_gid, user);
  return user;
}

// The user of the outermost scope, for the checks of the calls inside it.
thread_local int scopeDepth = 0;
thread_local User scopeUser;

// Takes the user afresh for an outermost scope, letting go of the last one.
void takeUser() {
  if (scopeUser.homeFd >= 0) close(scopeUser.homeFd);
  scopeUser = settingsUser();
}

const User& currentUser() {
  if (scopeDepth == 0) takeUser();
  return scopeUser;
}

// A folder that only the user, or root, can take files out of or put them
// into. Group write is allowed for the user's own group, which is the
// user's private group wherever umask 002 makes folders group-writable.
bool privateFolder(int fd, const User& user) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if ((st.st_uid != user.uid && st.st_uid != 0) || (st.st_mode & S_IWOTH) != 0) return false;
  return (st.st_mode & S_IWGRP) == 0 || st.st_gid == user.gid;
}

// As the kernel would resolve them; a longer chain is taken for a loop.
constexpr int maxLinks = 40;

// The components of `path` pushed for the walk, the first one last. Not
// resolvedComponents(): a ".." after a link is the link target's parent,
// which only the walk itself knows.
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

// A walk from folder to folder by descriptor, each opened relative to the
// one before without following a link, so that what was checked is what
// is used. Links are followed by hand, each checked before it is read;
// realpath() would follow any link at all.
struct Walk {
  const User& user;
  int fd = -1;           // O_PATH descriptor of `resolved`
  std::string resolved;  // link-free; "" is the root
  std::vector<std::string> pending;  // components still to walk, the next one last
  int links = 0;
  bool followedLink = false;
  bool madeFolder = false;  // the candidate's own folder was made by this walk
  std::string problem;
  int error = 0;

  explicit Walk(const User& walker) : user(walker) {}
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;
  ~Walk() {
    if (fd >= 0) close(fd);
  }
  std::string here() const { return resolved.empty() ? "/" : resolved; }
  std::string at(const std::string& name) const { return resolved + "/" + name; }
  bool fail(const std::string& what, int number) {
    problem = what;
    error = number;
    return false;
  }
  bool failWith(const std::string& what, int number) {
    return fail(what + ": " + std::strerror(number), number);
  }
  void moveTo(int next, const std::string& name) {
    close(fd);
    fd = next;
    if (name != "..") {
      resolved = at(name);
      return;
    }
    if (resolved.empty()) return;  // the root is its own parent
    const size_t slash = resolved.rfind('/');
    const std::string last = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
    // Above the working directory a relative path keeps its "..".
    if (last == "." || last == "..") resolved += "/..";
    else resolved.erase(slash);
  }
};

bool begin(Walk& walk, const std::string& path) {
  if (path.empty()) return walk.fail("an empty path", ENOENT);
  const std::string& home = walk.user.homePath;
  if (walk.user.homeFd >= 0 && !home.empty() && home != "/" && path.size() > home.size() &&
      path.compare(0, home.size(), home) == 0 && path[home.size()] == '/') {
    walk.fd = fcntl(walk.user.homeFd, F_DUPFD_CLOEXEC, 0);
    if (walk.fd < 0) return walk.failWith(home, errno);
    walk.resolved = home;
    pushComponents(path.substr(home.size()), walk.pending);
    return true;
  }
  const bool rooted = path[0] == '/';
  walk.fd = open(rooted ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (walk.fd < 0) return walk.failWith(rooted ? "/" : ".", errno);
  walk.resolved = rooted ? "" : ".";
  pushComponents(path, walk.pending);
  return true;
}

// Follows the link `name` (whose lstat is `st`) in the current folder: its
// target's components take its place.
bool followLink(Walk& walk, const std::string& name, const struct stat& st) {
  const std::string at = walk.at(name);
  if (++walk.links > maxLinks) return walk.fail(at + ": too many links", ELOOP);
  // Anyone else's link could lead the next save onto any file the user may
  // write; so could one in a folder someone else may change.
  if ((st.st_uid != walk.user.uid && st.st_uid != 0) || !privateFolder(walk.fd, walk.user))
    return walk.fail(at + ": a link that others could have made or may change", EPERM);
  // Some file systems report no size for their links.
  std::vector<char> target(std::max<size_t>(static_cast<size_t>(st.st_size) + 2, 4096));
  const ssize_t length = readlinkat(walk.fd, name.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size())
    return walk.fail(at + ": a link that changed while it was read", EAGAIN);
  if (target[0] == '/') {
    const int root = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return walk.failWith("/", errno);
    close(walk.fd);
    walk.fd = root;
    walk.resolved.clear();
  }
  pushComponents(std::string(target.data(), static_cast<size_t>(length)), walk.pending);
  walk.followedLink = true;
  return true;
}

// Walks the pending folders until `keep` components are left. With
// `make`, missing folders are made on the way, the last one (the
// candidate's own folder) for the user alone.
bool walkFolders(Walk& walk, size_t keep, bool make) {
  while (walk.pending.size() > keep) {
    const std::string name = std::move(walk.pending.back());
    walk.pending.pop_back();
    if (name == ".") continue;
    const bool ownFolder = walk.pending.size() == keep;
    int next = openat(walk.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && make) {
      // Root on its own account makes nothing in another user's folder:
      // what it made there would be root's, in that user's way.
      struct stat folder;
      if (walk.user.uid == 0 && (fstat(walk.fd, &folder) != 0 || folder.st_uid != 0))
        return walk.fail(walk.here() + ": a folder of another user's", EPERM);
      if (mkdirat(walk.fd, name.c_str(), ownFolder ? 0700 : 0777) == 0) walk.madeFolder = ownFolder;
      else if (errno != EEXIST) return walk.failWith(walk.at(name), errno);
      next = openat(walk.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next >= 0) {
      walk.moveTo(next, name);
      continue;
    }
    const int openError = errno;
    struct stat st;
    if (fstatat(walk.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return walk.failWith(walk.at(name), errno);
    if (!S_ISLNK(st.st_mode))
      return walk.failWith(walk.at(name), S_ISDIR(st.st_mode) ? openError : ENOTDIR);
    if (!followLink(walk, name, st)) return false;
  }
  return true;
}

// The candidate's own folder, open as `fd`, made the user's alone: exactly
// 0700 when this walk made it, else without the rights it gives others, so
// that no one else can hold its lock or read the marks in it. Only a
// folder of the user's own is changed.
void keepFolderPrivate(int fd, const User& user, bool made) {
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_uid != user.uid) return;
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = made ? 0700 : mode & ~static_cast<mode_t>(077);
  if (mode == wanted) return;
  const int writable = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (writable < 0) return;
  fchmod(writable, wanted);
  close(writable);
}

// A folder in which the user's settings files may lie: the user's or root's.
bool usersFolder(const struct stat& folder, const User& user) {
  return S_ISDIR(folder.st_mode) && (folder.st_uid == user.uid || folder.st_uid == 0);
}

// A settings file the user may use: a regular file of the user's own, or
// of root's (left by an earlier run as root) in a folder of the user's.
bool usersFile(const struct stat& file, const struct stat& folder, const User& user) {
  return S_ISREG(file.st_mode) && usersFolder(folder, user) &&
         (file.st_uid == user.uid || (file.st_uid == 0 && folder.st_uid == user.uid));
}

// What occupies `name` in the walk's folder, for the line that says why no
// file can be made there.
std::string occupant(const Walk& walk, const std::string& name) {
  struct stat st;
  if (fstatat(walk.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "occupied by a directory";
  if (S_ISFIFO(st.st_mode)) return "occupied by a FIFO";
  if (S_ISLNK(st.st_mode)) return "occupied by a link that leads to no usable settings file";
  if (S_ISREG(st.st_mode) && st.st_uid == walk.user.uid) return std::strerror(EACCES);
  if (S_ISREG(st.st_mode)) return "occupied by a file of another user";
  return "occupied by a device or socket";
}

// The location at the end of `walk`: its folder reopened so that it can
// be read, locked and synced where the user may read it (else the O_PATH
// descriptor serves as a base for the *at() calls).
SettingsLocation locationOf(Walk& walk, const std::string& candidate, const std::string& name) {
  SettingsLocation location;
  const int readable = openat(walk.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (readable >= 0) {
    close(walk.fd);
    walk.fd = readable;
  }
  location.folder.handle = walk.fd;
  location.folder.path = walk.here();
  walk.fd = -1;
  location.name = name;
  location.path = walk.followedLink ? walk.at(name) : candidate;
  return location;
}

SettingsLocation failure(const Walk& walk) {
  SettingsLocation location;
  location.problem = walk.problem;
  location.error = walk.error;
  return location;
}

// A settings file openSettingsFileAt() may open, in the folder of
// descriptor `folder`: one usableSettingsFile() would take, and for
// writing only one of the user's own.
bool openableSettingsFile(int folder, const struct stat& file, bool writes) {
  const User& user = currentUser();
  struct stat st;
  return fstat(folder, &st) == 0 && usersFile(file, st, user) && (!writes || file.st_uid == user.uid);
}

bool isOwnName(const std::string& name) { return name != "." && name != ".."; }

}  // namespace

SettingsFolder::SettingsFolder(SettingsFolder&& other) noexcept
    : handle(other.handle), path(std::move(other.path)) {
  other.handle = -1;
}

SettingsFolder& SettingsFolder::operator=(SettingsFolder&& other) noexcept {
  if (this != &other) {
    if (handle != -1) close(static_cast<int>(handle));
    handle = other.handle;
    path = std::move(other.path);
    other.handle = -1;
  }
  return *this;
}

SettingsFolder::~SettingsFolder() {
  if (handle != -1) close(static_cast<int>(handle));
}

SettingsUserScope::SettingsUserScope() {
  if (scopeDepth++ > 0) return;
  takeUser();
  if (!scopeUser.other) return;
  const int count = getgroups(0, nullptr);
  savedGroups.resize(static_cast<size_t>(std::max(count, 0)));
  if (count < 0 || getgroups(count, reinterpret_cast<gid_t*>(savedGroups.data())) != count) {
    failed = true;
    return;
  }
  // The raw call changes this thread alone; the C library's setgroups()
  // would change every thread of the process.
  if (syscall(SYS_setgroups, scopeUser.groups.size(), scopeUser.groups.data()) != 0) {
    failed = true;
    return;
  }
  acting = true;
  savedGroup = static_cast<uint32_t>(setfsgid(scopeUser.gid));
  savedUser = static_cast<uint32_t>(setfsuid(scopeUser.uid));
  // An id that cannot be taken answers with the one in force.
  failed = static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) != scopeUser.uid ||
           static_cast<gid_t>(setfsgid(static_cast<gid_t>(-1))) != scopeUser.gid;
}

SettingsUserScope::~SettingsUserScope() {
  if (--scopeDepth == 0 && scopeUser.homeFd >= 0) {
    close(scopeUser.homeFd);
    scopeUser.homeFd = -1;
  }
  if (!acting) return;
  setfsuid(savedUser);
  setfsgid(savedGroup);
  syscall(SYS_setgroups, savedGroups.size(), savedGroups.data());
}

bool settingsOfAnotherUser() {
  std::string path;
  const int home = openedHome(path);
  struct stat st;
  const bool other = geteuid() == 0 && home >= 0 && fstat(home, &st) == 0 && st.st_uid != 0;
  if (home >= 0) close(home);
  return other;
}

SettingsLocation usableSettingsFile(const std::string& candidate) {
  Walk walk(currentUser());
  if (!begin(walk, candidate) || !walkFolders(walk, 1, false)) return failure(walk);
  // The candidate's folder holds the file unless a link leads elsewhere.
  bool inOwnFolder = true;
  for (;;) {
    // A link to "/" (or to "//") leaves no name to take: it led to a folder.
    if (walk.pending.empty()) {
      walk.fail(walk.here() + ": a link that leads to a folder", EISDIR);
      return failure(walk);
    }
    const std::string name = walk.pending.back();
    if (!isOwnName(name)) return failure(walk);
    struct stat st, opened, folder;
    if (fstatat(walk.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      walk.failWith(walk.at(name), errno);
      return failure(walk);
    }
    if (S_ISLNK(st.st_mode)) {
      walk.pending.pop_back();
      if (!followLink(walk, name, st) || !walkFolders(walk, 1, false)) return failure(walk);
      inOwnFolder = false;
      continue;
    }
    if (fstat(walk.fd, &folder) != 0 || !usersFile(st, folder, walk.user)) {
      walk.fail(walk.at(name) + ": " + occupant(walk, name), EEXIST);
      return failure(walk);
    }
    // Readable by the user, and still the file that was checked.
    const int fd = openat(walk.fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      walk.failWith(walk.at(name), errno);
      return failure(walk);
    }
    const bool same = fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev &&
                      opened.st_ino == st.st_ino && usersFile(opened, folder, walk.user);
    close(fd);
    if (!same) {
      walk.fail(walk.at(name) + ": changed while it was checked", EAGAIN);
      return failure(walk);
    }
    // Only a folder that holds a settings file is the program's own: a
    // folder of that name without one may be anything of the user's.
    if (inOwnFolder) keepFolderPrivate(walk.fd, walk.user, false);
    return locationOf(walk, candidate, name);
  }
}

SettingsLocation makeSettingsFile(const std::string& candidate) {
  Walk walk(currentUser());
  if (!begin(walk, candidate) || !walkFolders(walk, 1, true)) return failure(walk);
  keepFolderPrivate(walk.fd, walk.user, walk.madeFolder);
  const std::string name = walk.pending.back();
  struct stat folder;
  if (!isOwnName(name) || fstat(walk.fd, &folder) != 0) {
    walk.fail(walk.at(name) + ": not a file name", EISDIR);
    return failure(walk);
  }
  if (!usersFolder(folder, walk.user)) {
    walk.fail(walk.here() + ": not a folder of the user's", EPERM);
    return failure(walk);
  }
  // Empty, it is complete the moment it appears; never over anything.
  const int fd = openat(walk.fd, name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    walk.fail(walk.at(name) + ": " + (error == EEXIST ? occupant(walk, name) : std::strerror(error)),
              error);
    return failure(walk);
  }
  close(fd);
  return locationOf(walk, candidate, name);
}

FILE* openSettingsFileAt(const SettingsLocation& location, const char* mode) {
  if (location.folder.handle == -1) return nullptr;
  return platform::openRegularFileAt(static_cast<int>(location.folder.handle), location.name.c_str(),
                                     mode, openableSettingsFile);
}

bool replaceableSettingsFile(const SettingsLocation& location, int& error) {
  error = 0;
  if (location.folder.handle == -1) return false;
  const int folderFd = static_cast<int>(location.folder.handle);
  struct stat st;
  if (fstatat(folderFd, location.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    error = errno;
    return false;
  }
  if (st.st_uid != currentUser().uid) return true;
  if (faccessat(folderFd, location.name.c_str(), W_OK, AT_EACCESS) == 0) return true;
  error = errno;
  return false;
}

}  // namespace zub
