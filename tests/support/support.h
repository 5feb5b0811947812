// What every test suite shares: real temporary folders, files, an
// environment and working-directory guard, the marks file as the browser
// writes it, checks run as an unprivileged user, and polling for evidence.
// Child processes and launch records are in tests/support/process.h.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zub/string_list.h"

// Whole lists compared element by element, for EXPECT_EQ: the program
// itself never compares lists. In zub, where argument lookup finds them.
namespace zub {
template <typename List>
bool operator==(const StringList& a, const List& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
inline bool operator==(const std::vector<std::string>& a, const StringList& b) { return b == a; }
}  // namespace zub

namespace testing_support {

// A fresh folder under the system's temporary folder ($TMPDIR when set),
// removed with everything in it when the object goes, folders a test made
// unreadable included. `path` is canonical (no links, no trailing
// separator); it is empty when no folder could be made.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // path + "/" + relative.
  std::string operator/(const std::string& relative) const;
  std::string path;
};

// Writes `content` to `path` (created or truncated); false on failure.
bool writeFile(const std::string& path, const std::string& content);
// writeFile(), then mode 0755; false on failure.
bool writeExecutable(const std::string& path, const std::string& content);
// The whole content of `path`; empty when it cannot be read.
std::string readFile(const std::string& path);
// True when anything (a dangling link too) exists at `path`.
bool pathExists(const std::string& path);
// Creates `path` and its missing parents; false unless it is a folder after.
bool makeDir(const std::string& path);
// The names in folder `dir` besides "." and "..", sorted; empty on failure.
std::vector<std::string> namesIn(const std::string& dir);

// Sets and unsets environment variables and changes the working directory
// for the lifetime of the object; puts every one of them back as it was,
// in reverse order, when it goes.
struct EnvGuard {
  EnvGuard() = default;
  ~EnvGuard();
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  void set(const std::string& name, const std::string& value);
  void unset(const std::string& name);
  // Makes `home` the only place the settings lookup sees: HOME set,
  // APPDATA, USERPROFILE and HOMEPATH unset. Marks files then live in
  // marksFolder(home).
  void useHome(const std::string& home);
  // chdir to `dir`; false (nothing changed) when that fails.
  bool changeDir(const std::string& dir);

  std::vector<std::pair<std::string, std::optional<std::string>>> savedVariables;
  std::string savedDir;  // empty while the directory was not changed
};

// The settings folder the browser uses when HOME is `home` (see useHome).
std::string marksFolder(const std::string& home);
// The marks file of `directory` (absolute, normalised, as the browser
// shows it): marksFolder(home) + "/" + the MD5 of the path's key bytes
// (zub::keyBytes) in upper-case hex.
std::string marksPath(const std::string& home, const std::string& directory);
// A marks file as the browser writes it: the entry count, the selection,
// one "DIGEST mark" line per name, then an empty line. `marks` holds one
// value per name.
std::string marksText(const std::vector<std::string>& names, int selection,
                      const std::vector<int>& marks);
// Writes `content` as the marks file of `directory`, making the folder;
// false on failure.
bool writeMarks(const std::string& home, const std::string& directory,
                const std::string& content);

// Alpha of texel (tx, ty) of the atlas cell of `code`, ty counted from the
// cell's top, in an atlas laid out as the program's fontImage: 256 x 256
// RGBA texels, bottom row first, 16 x 16 cells of 16 x 16 texels.
int atlasInk(const unsigned char* atlas, int code, int tx, int ty);

// The outcome of a check run in a child process.
struct ChildCheck {
  bool ran = false;    // false: the check could not run as asked; `output` says why
  std::string output;  // what the check wrote into its string
};

// Runs `check` in a child process for which permission bits count: as the
// user "nobody" when the tests run as root, else as the current user.
// Nothing the check does reaches this process but its text.
ChildCheck runUnprivileged(const std::function<void(std::string& output)>& check);

// Polls `condition` every few milliseconds until it holds (true) or
// `limit` has passed (false). For waiting on a program's evidence (a file
// written, a frame drawn), never as a delay.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// What the platform allows that some tests rely on: an environment
// variable set to the empty string (Windows' runtime removes it instead),
// and removing the working directory of a running process.
bool environmentHoldsEmptyValues();
bool workingDirectoryCanVanish();
// True when the platform's file names may be `name` (POSIX: no '/'; Windows
// also refuses what is not UTF-8, control bytes and < > : " \ | ? *).
bool nameAllowed(const std::string& name);
// True when the tests run under wine, whose shell differs from Windows'
// where noted at the test (it expands %VAR% in every path it is handed).
bool runsUnderWine();
// Makes `path` belong to the user runUnprivileged() runs its checks as
// (POSIX, as root: "nobody"; otherwise nothing changes); false on failure.
bool giveToCheckUser(const std::string& path);

// Makes the fonts that scripts/deps.sh installs the only ones this process
// draws with, whatever else the machine has: DejaVu Sans Bold, DejaVu Sans,
// Noto Sans CJK Bold, Noto Sans Devanagari Bold (which DejaVu lacks) and
// Noto Color Emoji, in that order for sans-serif
// (the emoji font first for emoji). DejaVu Sans Bold claims
// kClaimedButMissing, which it has no glyph for, as a font list out of
// step with its fonts would. Call before the process's first font lookup.
// False, with the reason in `why`, when a font file is missing. On
// Windows nothing changes (scripts/test-windows.sh brings the fonts).
bool useTestFonts(std::string& why);
// U+3042 HIRAGANA LETTER A, which Noto Sans CJK Bold has.
constexpr char32_t kClaimedButMissing = 0x3042;

// File names holding bytes a shell would act on: blanks, quotes, command
// substitution, back-ticks, a separator, a line feed, bytes above 0x7F, a
// leading dash, and cmd.exe's & ^ ( ) %. Running any of them as a command
// leaves a file or folder named "pwned-..." in the working directory.
std::vector<std::string> hostileNames();

}  // namespace testing_support
