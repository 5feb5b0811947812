#include "app/launch_environment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

extern char** environ;

namespace {

// The part of `entry` before its '='.
std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// Variables that name nothing the user could have written for root to run
// or read, or that only a system file interprets.
bool passesToRoot(const std::string& name) {
  for (const char* kept : {"DISPLAY", "XAUTHORITY", "TERM", "LANG", "LANGUAGE"})
    if (name == kept) return true;
  return name.compare(0, 3, "LC_") == 0;
}

// The folders of search path `path` that rootOnlyFolder() accepts; the
// system's default path when none is.
std::string rootOnlySearchPath(const std::string& path) {
  std::string kept;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string folder = path.substr(start, end - start);
    if (rootOnlyFolder(folder)) kept += (kept.empty() ? "" : ":") + folder;
    start = end + 1;
  }
  if (!kept.empty()) return kept;
  const std::size_t size = confstr(_CS_PATH, nullptr, 0);
  if (size == 0) return "/usr/bin:/bin";
  std::vector<char> buffer(size);
  confstr(_CS_PATH, buffer.data(), size);
  return buffer.data();
}

}  // namespace

bool rootOnlyFolder(const std::string& folder) {
  if (folder.empty() || folder[0] != '/') return false;
  // The folder as the links lead, then each folder above it: a link on
  // the way is decided by where it leads.
  char* resolved = realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return false;
  std::string at = resolved;
  std::free(resolved);
  for (;;) {
    struct stat info;
    if (lstat(at.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != 0) return false;
    const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && (info.st_mode & S_ISVTX) == 0) return false;
    if (at == "/") return true;
    const std::size_t slash = at.find_last_of('/');
    at = slash == 0 ? "/" : at.substr(0, slash);
  }
}

std::string environmentValue(const std::vector<std::string>& environment, const std::string& name) {
  for (const std::string& entry : environment)
    if (nameOf(entry) == name && entry.size() > name.size()) return entry.substr(name.size() + 1);
  return std::string();
}

RootAccount rootAccount() {
  RootAccount root;
  std::vector<char> buffer(16384);
  passwd entry{}, *found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return root;
  if (entry.pw_name != nullptr && *entry.pw_name != '\0') root.name = entry.pw_name;
  if (entry.pw_dir != nullptr && *entry.pw_dir != '\0') root.home = entry.pw_dir;
  if (entry.pw_shell != nullptr && *entry.pw_shell != '\0') root.shell = entry.pw_shell;
  return root;
}

std::vector<std::string> launchEnvironment(const std::vector<std::string>& current,
                                           bool forAnotherUser, const RootAccount& root) {
  if (!forAnotherUser) return current;
  std::vector<std::string> environment = {"HOME=" + root.home, "USER=" + root.name,
                                          "LOGNAME=" + root.name, "SHELL=" + root.shell};
  bool display = false, authority = false;
  std::string userHome;
  environment.push_back("PATH=" + rootOnlySearchPath(environmentValue(current, "PATH")));
  for (const std::string& entry : current) {
    const std::string name = nameOf(entry);
    if (name == "HOME") userHome = entry.substr(5);
    if (!passesToRoot(name)) continue;
    display = display || name == "DISPLAY";
    authority = authority || name == "XAUTHORITY";
    environment.push_back(entry);
  }
  // The X library falls back on $HOME/.Xauthority, which is root's now.
  if (display && !authority && !userHome.empty())
    environment.push_back("XAUTHORITY=" + userHome + "/.Xauthority");
  return environment;
}

std::vector<std::string> processEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    entries.push_back(*entry);
  return entries;
}
