// Per-user settings files: where they live, how they are named, and
// opening them (created empty, with their folders, on first use).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zub {

// Candidate paths for settings file `file` of folder `folder`, in order:
// $APPDATA/folder/file, $USERPROFILE/.folder/file, $HOME/.folder/file,
// $HOMEPATH/.folder/file (each only when the variable is set, even to the
// empty string), ./.folder/file, <working dir>/folder/file. Each is passed
// through toNative(). The list is never empty.
std::vector<std::string> settingsCandidates(const std::string& folder,
                                            const std::string& file);

// The first candidate that is usable as an existing settings file, as
// platform::usableSettingsFile() decides (POSIX: a regular file of the
// user's, reached only through the user's links in folders no one else may
// write; the path is then the link's resolved target). Candidates that fail
// the test are passed over as if they did not exist. The empty string when
// none is usable.
std::string findSettingsFile(const std::string& folder,
                             const std::string& file);

// Where settings file `file` of the folder "orchard.menu" is read and
// written: the one answer that every reader and writer of settings asks.
// `path` is the usable existing file wherever it lies among the candidates
// (findSettingsFile()); when there is none, a new empty file made at the
// first candidate that can take one: its missing folders made (the
// settings folder itself for the user alone), nothing else there (a file
// that is not usable, a directory, a link) and the folder accepting the new
// file; the later candidates are tried in order when it does not. `path`
// is empty when no candidate can hold the file; `problem` then says why
// for the first candidate, in a few words naming its path.
struct SettingsLocation {
  std::string path;
  std::string problem;
};
SettingsLocation locateSettingsFile(const char* file);

// Opens settings file `file` at locateSettingsFile(file) with fopen mode
// `mode` (so a missing file is first made empty). Only regular files of the
// user's are opened, never blocking; returns nullptr when no file can be
// opened. The caller closes the stream.
FILE* openSettingsFile(const char* file, const char* mode);

// The folder every settings file of this program lives in.
inline constexpr char settingsFolder[] = "orchard.menu";

}  // namespace zub
