// The environment a launched program gets on POSIX (launch_posix.cpp).
#pragma once

#include <string>
#include <vector>

// Root's own account, as the user database has it.
struct RootAccount {
  std::string name = "root";
  std::string home = "/root";
  std::string shell = "/bin/sh";
};

// Root's entry of the user database (of the effective user id); the
// defaults above for what it lacks.
RootAccount rootAccount();

// The environment of a program launched from one whose environment is
// `current` ("NAME=value" entries): `current` itself, unless
// `forAnotherUser` (root run with another user's HOME, sudo -E). Then it
// is root's own, as `sudo` would set it up, so that no file or variable of
// that user's decides what root runs or reads: HOME, USER, LOGNAME and
// SHELL from `root`; of `current` only PATH, DISPLAY, XAUTHORITY, TERM and
// the locale (LANG, LANGUAGE, LC_*). No XDG_* variable passes, not even
// XDG_RUNTIME_DIR: root's programs would make their sockets and files in
// the user's runtime folder. When XAUTHORITY is unset but DISPLAY is set,
// the user's implicit authority, $HOME/.Xauthority of `current`, is named
// explicitly, so that the display still admits the program.
std::vector<std::string> launchEnvironment(const std::vector<std::string>& current,
                                           bool forAnotherUser, const RootAccount& root);

// This process's environment as "NAME=value" entries.
std::vector<std::string> processEnvironment();
