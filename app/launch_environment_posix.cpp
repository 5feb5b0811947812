#include "app/launch_environment.h"

#include <pwd.h>
#include <unistd.h>

extern char** environ;

namespace {

// The part of `entry` before its '='.
std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// Variables that name nothing the user could have written for root to run
// or read, or that only a system file interprets.
bool passesToRoot(const std::string& name) {
  for (const char* kept : {"PATH", "DISPLAY", "XAUTHORITY", "TERM", "LANG", "LANGUAGE"})
    if (name == kept) return true;
  return name.compare(0, 3, "LC_") == 0;
}

}  // namespace

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
