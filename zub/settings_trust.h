// Which settings files the program trusts, and with whose rights it works
// on them. One realisation per platform (settings_trust_linux.cpp,
// settings_trust_win32.cpp), picked by the build. Every function here is
// called inside a SettingsUserScope.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zub {

// A folder opened once and checked; owns its descriptor (POSIX), closed by
// the destructor. Every later step on a file in it goes through this
// descriptor, so the folder checked is the folder written, whatever is
// done to its path meanwhile. Windows has no folder descriptors: `handle`
// stays -1 and the folder is named by `path`.
struct SettingsFolder {
  intptr_t handle = -1;
  std::string path;  // the folder as a path, for messages (and for Windows)

  SettingsFolder() = default;
  SettingsFolder(SettingsFolder&& other) noexcept;
  SettingsFolder& operator=(SettingsFolder&& other) noexcept;
  SettingsFolder(const SettingsFolder&) = delete;
  SettingsFolder& operator=(const SettingsFolder&) = delete;
  ~SettingsFolder();
};

// Where a settings file is read and written: the checked folder and the
// file's name in it. `path` is the candidate it was found at, or its
// link-free form when a link was followed; it is empty when there is no
// usable place, and `problem` then says why in a few words naming the
// path, `error` being the system's error number of the step that failed
// (0 when none says more).
struct SettingsLocation {
  std::string path;
  std::string problem;
  int error = 0;
  SettingsFolder folder;
  std::string name;
};

// For its lifetime the calling thread works on settings files with the
// file-system identity of the user they belong to, so that the system
// refuses whatever that user could not do. That user is the process's own
// user; for root run with the HOME of another user (sudo -E), the owner of
// $HOME (Linux: setfsuid, setfsgid and that user's groups, for this thread
// alone; restored by the destructor). $HOME is opened once for each value
// the variable takes; its owner is read from that descriptor, and every
// candidate under $HOME is walked from it, so that a folder swapped in
// afterwards changes nothing. Root on its own account makes nothing in a
// folder of another user's. Scopes nest; only the outermost
// switches. Windows: no switch.
struct SettingsUserScope {
  bool acting = false;  // the identity was switched and must be restored
  bool failed = false;  // it could not be switched: touch nothing
  uint32_t savedUser = 0, savedGroup = 0;
  std::vector<uint32_t> savedGroups;

  SettingsUserScope();
  SettingsUserScope(const SettingsUserScope&) = delete;
  SettingsUserScope& operator=(const SettingsUserScope&) = delete;
  ~SettingsUserScope();
};

// True when root runs with the HOME of another user (sudo -E): the
// settings are then that user's, and nothing of that user's may decide
// what root itself runs or reads. Decided on $HOME as first opened, as
// SettingsUserScope decides it. Windows: false.
bool settingsOfAnotherUser();

// The existing settings file at candidate `candidate`, or a location with
// an empty path when it must be passed over as if it did not exist.
// POSIX: the folders are walked by descriptor; every link on the way (of
// the folders too, at most 40) must belong to the user (or root) and lie
// in a folder that no other user may write (group write only for the
// user's own primary group); the file at the end must be a regular file
// the user may read, of the user's own, or of root's in a folder of the
// user's, in a folder of the user's or root's, whatever that folder's
// permission bits. The candidate's own folder, when it holds the file and
// is the user's, is made the user's alone (0700). Nothing that blocks is opened. Windows: a
// readable regular file that is no link or junction.
SettingsLocation usableSettingsFile(const std::string& candidate);

// Makes an empty settings file at candidate `candidate`, with the folders
// it lacks (the settings folder itself for the user alone), through links
// that usableSettingsFile() would follow, in a folder of the user's or
// root's, where nothing is yet. On failure the path is empty and the
// problem names the true cause (the system's error, or what occupies the
// place).
SettingsLocation makeSettingsFile(const std::string& candidate);

// Opens the settings file of `location` with fopen mode `mode` ("r", "w",
// "a", each with an optional "+" and "b"), relative to its checked folder.
// Never follows a link in the last component, never blocks, never
// creates; only a file usableSettingsFile() would take is opened, and for
// writing only one of the user's own; "w" empties it only after those
// checks. nullptr for anything else. The caller closes the stream.
FILE* openSettingsFileAt(const SettingsLocation& location, const char* mode);

// True when a save may replace the settings file of `location`: the user
// may write it, or it is a file of root's in the user's folder, which the
// save replaces with one of the user's. A file of the user's that the user
// may not write (read-only) stays as it is: false, `error` saying why.
bool replaceableSettingsFile(const SettingsLocation& location, int& error);

}  // namespace zub
