// Per-user settings files: where they live, how they are named, and
// opening them (created empty, with their folders, on first use).
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zub {

// Candidate paths for settings file `file` of folder `folder`, in order:
// $APPDATA/folder/file, $USERPROFILE/.folder/file, $HOME/.folder/file,
// $HOMEPATH/.folder/file (each only when the variable is set, even to the
// empty string), ./.folder/file, <working dir>/folder/file. Each is passed
// through toNative(). The list is never empty.
std::vector<std::string> settingsCandidates(const std::string& folder,
                                            const std::string& file);

// The first candidate that is usable as an existing settings file: a
// readable regular file of the running user, in a folder of that user that
// others cannot write (a link of the user's own stands for its target, and
// then the target's path is returned). Candidates that fail the test are
// passed over as if they did not exist. The empty string when none is
// usable.
std::string findSettingsFile(const std::string& folder,
                             const std::string& file);

// Where settings file `file` of the folder "orchard.menu" is read and
// written: the one answer that every reader and writer of settings asks.
// `exists` is true when `path` is a usable existing file (as
// findSettingsFile() finds it); otherwise `path` is the first candidate,
// whose folders have been made, and nothing there may be used or replaced:
// only a new file may be created.
struct SettingsLocation {
  std::string path;
  bool exists = false;
};
SettingsLocation locateSettingsFile(const char* file);

// Opens settings file `file` at locateSettingsFile(file) with fopen mode
// `mode`: an existing file wherever it lies among the candidates; otherwise
// a new empty file made at the first candidate. Only regular files are
// opened, never blocking; returns nullptr when no file can be opened (also
// when something that is not usable occupies the first candidate).
// The caller closes the stream.
FILE* openSettingsFile(const char* file, const char* mode);

// The folder every settings file of this program lives in.
inline constexpr char settingsFolder[] = "orchard.menu";

// The MD5 digest (RFC 1321) of the bytes of `s`, as 32 upper-case
// hexadecimal digits.
std::string digestHex(const std::string& s);

// The same digest as its 16 bytes, for callers that compare many of them.
using Digest = std::array<unsigned char, 16>;
Digest digest(std::string_view s);

// `d` as digestHex() writes it: 32 upper-case hexadecimal digits.
std::string hexOf(const Digest& d);

// Reads back what hexOf() writes. False, leaving `out` unspecified, unless
// `text` is exactly 32 digits from "0123456789ABCDEF".
bool parseHex(const char* text, size_t length, Digest& out);

}  // namespace zub
