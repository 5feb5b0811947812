// Per-user settings files: where they live, how they are named, and
// reading and writing them (created empty, with their folders, on first
// use) through the folder that was checked when they were found.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "zub/atomic_file.h"
#include "zub/file_lock.h"
#include "zub/file_stamp.h"
#include "zub/settings_trust.h"

namespace zub {

// Candidate paths for settings file `file` of folder `folder`, in order:
// $APPDATA/folder/file, $USERPROFILE/.folder/file, $HOME/.folder/file,
// $HOMEPATH/.folder/file (each only when the variable is set, even to the
// empty string), ./.folder/file, <working dir>/folder/file. Each is passed
// through toNative(). The list is never empty.
std::vector<std::string> settingsCandidates(const std::string& folder,
                                            const std::string& file);

// The first candidate that is usable as an existing settings file, as
// usableSettingsFile() decides (zub/settings_trust.h); the path is the
// link's resolved target when a link was followed. Candidates that fail
// the test are passed over as if they did not exist. The empty string when
// none is usable.
std::string findSettingsFile(const std::string& folder,
                             const std::string& file);

// Where settings file `file` of the folder "orchard.menu" is read and
// written, looked up once for everything a caller then does with it: the
// usable existing file wherever it lies among the candidates; when there
// is none, a new empty file made at the first candidate (its missing
// folders made, the settings folder itself for the user alone), and at no
// other. `path` is empty when the first candidate cannot take it;
// `problem` then names the path and the true cause. Works as the settings
// user (SettingsUserScope).
SettingsLocation locateSettingsFile(const char* file);

// Opens settings file `file` at locateSettingsFile(file) with fopen mode
// `mode` (so a missing file is first made empty). nullptr when no file
// can be opened. The caller closes the stream.
FILE* openSettingsFile(const char* file, const char* mode);

// What a caller does with a location, each relative to its checked folder
// and as the settings user; none looks the file up again.
// Opens it with fopen mode `mode`, as openSettingsFileAt() does.
FILE* openSettingsFile(const SettingsLocation& location, const char* mode);
// Takes the lock its saves take turns by (zub/file_lock.h).
FolderLock lockSettingsFolder(const SettingsLocation& location);
// The file's stamp now (zub/file_stamp.h).
FileStamp settingsFileStamp(const SettingsLocation& location);
// True when a save may replace the file; else `problem` says why, naming
// the path (replaceableSettingsFile()).
bool mayReplaceSettingsFile(const SettingsLocation& location, std::string& problem);
// Replaces the file's content whole with what `source` produces
// (replaceFileIn()); false with `problem` naming the path and the cause
// when the content did not reach it.
bool replaceSettingsFile(const SettingsLocation& location, const ContentSource& source,
                         const FolderLock& lock, std::string& problem);

// `text` as one line of standard error: every byte below 0x20 and 0x7F
// written as \xHH, so that no name can break or recolour the line.
std::string escapedLine(const std::string& text);

// The folder every settings file of this program lives in.
inline constexpr char settingsFolder[] = "orchard.menu";

}  // namespace zub
