// Path strings: taking file-system paths apart and putting them together.
//
// How a path is read depends on its style. In the Windows style '/' and '\'
// are both separators, a drive prefix ("D:\") roots a path and a leading
// "\\" opens a network path. In the POSIX style only '/' separates and every
// other byte, '\' and ':' included, belongs to a name. Every function takes
// the style as its last argument, the platform's own by default, so the
// program reads paths as its system does while the Windows rules stay
// available everywhere.
// Paths are byte strings; nothing here looks at the file system except
// currentDir() (and normalize(), which asks currentDir()).
// No function changes its arguments and none fails: results are values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zub {

enum class PathStyle : uint8_t { posix, windows };

// The style of the platform the program runs on: posix where the native
// separator is '/', windows where it is '\'.
PathStyle nativePathStyle();

// The separator this platform writes between components: '/' on POSIX,
// '\' on Windows.
char nativeSeparator();

// True for the separators of `style`: '/' always, '\' in the Windows style.
bool isSeparator(char c, PathStyle style = nativePathStyle());

// The first separator of `style` in `path`; `fallback` when there is none
// (also for the empty path).
char detectSeparator(const std::string& path, char fallback,
                     PathStyle style = nativePathStyle());
// As above with nativeSeparator() as the fallback.
char detectSeparator(const std::string& path);

// How a path begins: what names its starting point rather than a
// component. Every kind but `none` and `separator` exists in the Windows
// style only; in the POSIX style '\' and ':' are name bytes.
enum class RootKind : uint8_t {
  none,           // relative: from the working directory
  separator,      // "/x" (Windows style also "\x": the current drive's root)
  drive,          // "D:\x", "D:/x": an ASCII letter, ':' and a separator
  driveRelative,  // "D:x", "D:": one character and ':', from that drive's
                  // own working directory (also "1:x": no drive at all)
  network,        // two separators: "\\server\share\x"
  verbatim,       // "\\?\x" or "\\.\x" (any separators): read by no rules
};

struct PathRoot {
  RootKind kind = RootKind::none;
  // How many bytes of the path the root takes: 0, 1 ("/"), 2 ("D:"),
  // 3 ("D:\"), 4 ("\\?\"); for a network path up to and including the
  // separator after the share, the whole path when nothing follows it.
  size_t length = 0;
  // Network paths only: the names of the server and the share, empty when
  // the path has none (as "\\" or "\\srv" have none).
  std::string_view server;
  std::string_view share;
};

// The root of `path` (the views point into `path`).
PathRoot rootOf(std::string_view path, PathStyle style = nativePathStyle());

// True when `path` starts with a separator, or (Windows style only) with a
// drive prefix: an ASCII letter, ':' and a separator. "D:" and "D:x" are
// never absolute.
bool isAbsolute(const std::string& path, PathStyle style = nativePathStyle());

// The process's working directory; the empty string when the platform
// cannot report it. Never cut short, however long the directory is.
std::string currentDir();

// The absolute, canonical form of `path`, with `workingDir` standing for the
// working directory and `fallbackSep` for the separator of a path that has
// none. The result uses one separator throughout: the first separator of
// `style` found in `path`, else `fallbackSep` (or '/' when `fallbackSep` is
// no separator of `style`). "." steps and runs of
// separators vanish, ".." steps remove the previous component (never above
// the root). Windows style only: a drive root loses its separator ("D:\"
// gives "D:"), a leading "\\" stays for network paths, whose separator is
// then always '\'. Components such as "..." or "..x" are ordinary names.
// A path (after prefixing the working directory) that starts with neither
// a separator, '.', nor an ASCII letter comes back unchanged.
std::string normalizeAt(std::string path, const std::string& workingDir,
                        char fallbackSep, PathStyle style = nativePathStyle());
// normalizeAt(path, currentDir(), nativeSeparator()).
std::string normalize(std::string path);

// `parts` joined: `sep` goes between two strings unless the text so far is
// empty or already ends in `sep`. Empty strings add nothing. An empty list
// gives the empty string.
std::string join(char sep, const std::vector<std::string>& parts);

// The argument form: join(sep, "a", "b", nullptr). At most 20 strings may
// come before the terminating null pointer; a call that passes 21 non-null
// strings is taken for a missing terminator: it prints a message to
// standard output and ends the process with status -1.
std::string join(char sep, const char* first, ...);

// The maximal runs of bytes of `s` that are not in `delimiters`, in order.
// Never yields an empty token.
std::vector<std::string> tokenize(const std::string& s,
                                  const std::string& delimiters);

// The components of `path` split at the separators of `style`, with
// empty components and "." dropped and each ".." taking away the component
// before it (at the start there is none to take: it is dropped too).
// Names that merely start with dots ("..x", "...") are components.
std::vector<std::string> resolvedComponents(std::string_view path,
                                            PathStyle style = nativePathStyle());

// The folder that holds `path`: its text before the last separator; "."
// when it has none. When that separator is the root's own, the root with
// its separator: "/" for "/x", and in the Windows style "\" for "\x" and
// "D:\" for "D:\x".
std::string folderOf(std::string_view path, PathStyle style = nativePathStyle());

// `path` up to and including its last separator; the whole path when it
// has none.
std::string dirName(const char* path, PathStyle style = nativePathStyle());

// The bytes after the last separator of `path` (empty when it ends in one);
// the whole path when it has none.
std::string baseName(const char* path, PathStyle style = nativePathStyle());

// `path` rebuilt with `sep` between its components (split at the
// separators of `style`): empty components and a trailing separator vanish,
// a leading run of separators becomes one `sep`.
std::string withSeparator(const std::string& path, char sep,
                          PathStyle style = nativePathStyle());
// withSeparator(path, nativeSeparator()).
std::string toNative(const std::string& path);

// `c` lowered when it is an ASCII capital A-Z; every other byte, 0x80-0xFF
// included, as it is: names in any 8-bit code page fold alike everywhere.
inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// A copy of `s` with the ASCII letters A-Z lowered; every other byte,
// 0x80-0xFF included, is unchanged.
std::string toLower(const std::string& s);

// What the system's ordinary path rules do to names. In the POSIX style a
// name is read as written, always. In the Windows style, outside the
// "\\?\" form, the system trims a trailing dot or blank and takes a device
// name (any case) for the device wherever it stands: "con", "prn", "aux",
// "nul", "conin$", "conout$", "com0".."com9", "lpt0".."lpt9", also with an
// extension or blanks before one ("nul.txt", "com1 .log").

// True when the ordinary rules of `style` read the one component `name`
// as written. False in the Windows style for the empty name and for "."
// and "..", which end in a dot.
bool keepsName(std::string_view name, PathStyle style = nativePathStyle());

// True when the ordinary rules of `style` read every component of `path`
// as written (keepsName()); empty components, "." and ".." are the path's
// own syntax and pass.
bool keepsAllNames(std::string_view path, PathStyle style = nativePathStyle());

// `path` in the form the system reads exactly as written, whatever its
// length and its names, `workingDir` standing for the working directory.
// In the POSIX style, which has no other rules, `path` itself. In the
// Windows style the "\\?\" form: "D:\x" becomes "\\?\D:\x" and
// "\\srv\share\x" becomes "\\?\UNC\srv\share\x", with "." and ".."
// resolved (never above the root), '/' turned into '\' and a root without
// components ending in '\'; a relative path first goes below `workingDir`
// (and is left as it is when that is empty). Also left as they are: a
// path already in "\\?\" or "\\.\" form, and root-relative ("\x") and
// drive-relative ("D:x") paths, whose meaning hangs on state the system
// keeps per drive; a network path without both a server and a share.
std::string exactPath(const std::string& path, const std::string& workingDir,
                      PathStyle style = nativePathStyle());

// `path` without the "\\?\" of its exact form, as the ordinary rules take
// it: "\\?\UNC\srv\x" becomes "\\srv\x", "\\?\D:\x" becomes "D:\x".
// Anything else, and every path in the POSIX style, is returned as it is.
std::string plainPath(const std::string& path, PathStyle style = nativePathStyle());

}  // namespace zub
