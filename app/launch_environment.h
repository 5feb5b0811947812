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
// SHELL from `root`; of `current` only DISPLAY, XAUTHORITY, TERM, the
// locale (LANG, LANGUAGE, LC_*) and PATH, less every folder that
// rootOnlyFolder() refuses (the system's default search path when none is
// left), so that no program of the user's is found for root. No XDG_* variable passes, not even
// XDG_RUNTIME_DIR: root's programs would make their sockets and files in
// the user's runtime folder. When XAUTHORITY is unset but DISPLAY is set,
// the user's implicit authority, $HOME/.Xauthority of `current`, is named
// explicitly, so that the display still admits the program.
std::vector<std::string> launchEnvironment(const std::vector<std::string>& current,
                                           bool forAnotherUser, const RootAccount& root);

// True when `folder` is absolute and it and every folder above it belong
// to root and no one else can change them (a world-writable folder counts
// only with its sticky bit, as /tmp has): nothing in it can be swapped by
// another user.
bool rootOnlyFolder(const std::string& folder);

// The value of variable `name` in `environment`; empty when it is unset.
std::string environmentValue(const std::vector<std::string>& environment, const std::string& name);

// This process's environment as "NAME=value" entries.
std::vector<std::string> processEnvironment();
