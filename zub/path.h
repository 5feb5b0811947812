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

#include <cstdint>
#include <string>
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

// A copy of `s` with the ASCII letters A-Z lowered; every other byte,
// 0x80-0xFF included, is unchanged.
std::string toLower(const std::string& s);

}  // namespace zub
