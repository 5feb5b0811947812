// Per-user settings files: where they live, how they are named, and
// opening them (created empty, with their folders, on first use).
#pragma once

#include <array>
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

// The first candidate that fileExists(); the empty string when none does.
std::string findSettingsFile(const std::string& folder,
                             const std::string& file);

// Opens settings file `file` of the folder "orchard.menu" with fopen mode
// `mode`. An existing file is used wherever it lies among the candidates;
// otherwise the file is created empty, with its folders, at the first
// candidate, then opened. Returns nullptr when the final open fails.
// The caller closes the stream.
FILE* openSettingsFile(const char* file, const char* mode);

// The folder every settings file of this program lives in.
inline constexpr char settingsFolder[] = "orchard.menu";

// The MD5 digest (RFC 1321) of the bytes of `s`, as 32 upper-case
// hexadecimal digits.
std::string digestHex(const std::string& s);

// The same digest as its 16 bytes, for callers that compare many of them.
using Digest = std::array<unsigned char, 16>;
Digest digest(const std::string& s);

// `d` as digestHex() writes it: 32 upper-case hexadecimal digits.
std::string hexOf(const Digest& d);

// Reads back what hexOf() writes. False, leaving `out` unspecified, unless
// `text` is exactly 32 digits from "0123456789ABCDEF".
bool parseHex(const char* text, size_t length, Digest& out);

}  // namespace zub
