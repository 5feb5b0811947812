#include "zub/path.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "zub/platform.h"

namespace zub {
namespace {

// Bytes at or above 0x80 are never letters, whatever the signedness of char.
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

size_t lastSeparator(std::string_view path, PathStyle style) {
  for (size_t i = path.size(); i > 0; --i)
    if (isSeparator(path[i - 1], style)) return i - 1;
  return std::string::npos;
}

// The bytes of the UTF-8 character `path` starts with when the system
// counts it as one UTF-16 unit (a character below U+10000), else 0: "é:x"
// is drive-relative to the system as "D:x" is, while the two units of a
// character above U+FFFF put its ':' third.
size_t singleUnitLength(std::string_view path) {
  if (path.empty()) return 0;
  const unsigned char lead = static_cast<unsigned char>(path[0]);
  const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 0;
  return length <= path.size() ? length : 0;
}

// A doubled backslash alone keeps a path's network form in normalize():
// "//srv/x" is an ordinary rooted path there, as the browser has always
// shown it.
bool keepsNetworkPrefix(std::string_view path, const PathRoot& root) {
  return (root.kind == RootKind::network || root.kind == RootKind::verbatim) && path[0] == '\\' &&
         path[1] == '\\';
}

// The names the system takes for devices wherever they stand, lowered.
bool isDeviceStem(std::string_view stem) {
  for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
    if (stem == device) return true;
  return stem.size() == 4 && (stem.substr(0, 3) == "com" || stem.substr(0, 3) == "lpt") &&
         stem[3] >= '0' && stem[3] <= '9';
}

const char* separators(PathStyle style) { return style == PathStyle::windows ? "/\\" : "/"; }

}  // namespace

char nativeSeparator() { return platform::nativeSeparator(); }

PathStyle nativePathStyle() {
  return nativeSeparator() == '\\' ? PathStyle::windows : PathStyle::posix;
}

bool isSeparator(char c, PathStyle style) {
  return c == '/' || (c == '\\' && style == PathStyle::windows);
}

char detectSeparator(const std::string& path, char fallback, PathStyle style) {
  for (char c : path)
    if (isSeparator(c, style)) return c;
  return fallback;
}

char detectSeparator(const std::string& path) {
  return detectSeparator(path, nativeSeparator());
}

PathRoot rootOf(std::string_view path, PathStyle style) {
  PathRoot root;
  const size_t n = path.size();
  if (style == PathStyle::posix) {
    if (n >= 1 && path[0] == '/') root = PathRoot{RootKind::separator, 1, {}, {}};
    return root;
  }
  const auto separatorAt = [&](size_t i) { return i < n && isSeparator(path[i], style); };
  if (separatorAt(0) && separatorAt(1)) {
    if (n >= 4 && (path[2] == '?' || path[2] == '.') && separatorAt(3))
      return PathRoot{RootKind::verbatim, 4, {}, {}};
    size_t serverEnd = 2;
    while (serverEnd < n && !separatorAt(serverEnd)) ++serverEnd;
    root = PathRoot{RootKind::network, n, path.substr(2, serverEnd - 2), {}};
    if (serverEnd >= n) return root;
    size_t shareEnd = serverEnd + 1;
    while (shareEnd < n && !separatorAt(shareEnd)) ++shareEnd;
    root.share = path.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    root.length = std::min(shareEnd + 1, n);
    return root;
  }
  if (separatorAt(0)) return PathRoot{RootKind::separator, 1, {}, {}};
  if (n >= 3 && isLetter(path[0]) && path[1] == ':' && separatorAt(2))
    return PathRoot{RootKind::drive, 3, {}, {}};
  const size_t first = singleUnitLength(path);
  if (first > 0 && first < n && path[first] == ':')
    return PathRoot{RootKind::driveRelative, first + 1, {}, {}};
  return root;
}

bool isAbsolute(const std::string& path, PathStyle style) {
  const RootKind kind = rootOf(path, style).kind;
  return kind != RootKind::none && kind != RootKind::driveRelative;
}

std::string currentDir() { return platform::workingDirectory(); }

std::string normalizeAt(std::string path, const std::string& workingDir,
                        char fallbackSep, PathStyle style) {
  // A fallback that is no separator of the style would be read back as a
  // name byte: in the POSIX style '\\' is one.
  char sep = detectSeparator(path, isSeparator(fallbackSep, style) ? fallbackSep : '/', style);
  if (!isAbsolute(path, style)) path = workingDir + sep + path;
  const PathRoot root = rootOf(path, style);
  // A network path keeps its leading "\\", and a single separator
  // throughout then has to be the backslash: "//srv" would read back as an
  // ordinary rooted path.
  if (keepsNetworkPrefix(path, root)) sep = '\\';
  if (!isSeparator(path[0], style) && path[0] != '.' && !isLetter(path[0])) return path;

  // The server and share of a network path are components here, which
  // ".." may take away: only the doubled backslash is kept.
  std::string prefix;
  size_t start = 0;
  if (root.kind == RootKind::drive) {
    prefix = path.substr(0, 2);
    start = 3;
  } else if (keepsNetworkPrefix(path, root)) {
    prefix = "\\";
    start = 2;
  }
  const std::vector<std::string> parts =
      resolvedComponents(std::string_view(path).substr(start), style);

  if (parts.empty()) return prefix.empty() ? std::string(1, sep) : prefix;
  for (const std::string& part : parts) {
    prefix += sep;
    prefix += part;
  }
  return prefix;
}

std::string normalize(std::string path) {
  return normalizeAt(std::move(path), currentDir(), nativeSeparator());
}

std::string join(char sep, const std::vector<std::string>& parts) {
  std::string result;
  for (const std::string& part : parts) {
    if (!result.empty() && result.back() != sep) result += sep;
    result += part;
  }
  return result;
}

std::string join(char sep, const char* first, ...) {
  // A caller that forgot the terminating null pointer would have us read
  // past its arguments; 21 strings is taken as that mistake.
  std::vector<std::string> parts;
  va_list args;
  va_start(args, first);
  for (const char* s = first; s != nullptr; s = va_arg(args, const char*)) {
    if (parts.size() == 20) {
      va_end(args);
      std::fputs("zub::join(...):  hmmmmm, did you null terminate?\n", stdout);
      std::exit(-1);
    }
    parts.emplace_back(s);
  }
  va_end(args);
  return join(sep, parts);
}

std::vector<std::string> tokenize(const std::string& s,
                                  const std::string& delimiters) {
  std::vector<std::string> tokens;
  size_t start = s.find_first_not_of(delimiters);
  while (start != std::string::npos) {
    const size_t end = s.find_first_of(delimiters, start);
    tokens.push_back(s.substr(start, end - start));
    start = s.find_first_not_of(delimiters, end);
  }
  return tokens;
}

std::vector<std::string> resolvedComponents(std::string_view path, PathStyle style) {
  std::vector<std::string> parts;
  const size_t n = path.size();
  for (size_t i = 0; i < n;) {
    if (isSeparator(path[i], style)) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < n && !isSeparator(path[end], style)) ++end;
    const std::string_view part = path.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (part != ".") {
      parts.emplace_back(part);
    }
    i = end;
  }
  return parts;
}

std::string folderOf(std::string_view path, PathStyle style) {
  const size_t last = lastSeparator(path, style);
  if (last == std::string::npos) return ".";
  const PathRoot root = rootOf(path, style);
  const bool rootsSeparator = (root.kind == RootKind::separator && last == 0) ||
                              (root.kind == RootKind::drive && last == 2);
  return std::string(path.substr(0, rootsSeparator ? last + 1 : last));
}

std::string dirName(const char* path, PathStyle style) {
  const size_t last = lastSeparator(path, style);
  return last == std::string::npos ? std::string(path) : std::string(path, last + 1);
}

std::string baseName(const char* path, PathStyle style) {
  const size_t last = lastSeparator(path, style);
  return last == std::string::npos ? std::string(path) : std::string(path + last + 1);
}

std::string withSeparator(const std::string& path, char sep, PathStyle style) {
  std::string result = join(sep, tokenize(path, separators(style)));
  if (!path.empty() && isSeparator(path[0], style)) result.insert(result.begin(), sep);
  return result;
}

std::string toNative(const std::string& path) {
  return withSeparator(path, nativeSeparator());
}

std::string toLower(const std::string& s) {
  std::string lower = s;
  for (char& c : lower) c = lowerAscii(c);
  return lower;
}

bool keepsName(std::string_view name, PathStyle style) {
  if (style == PathStyle::posix) return true;
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = lowerAscii(c);
  return !isDeviceStem(stem);
}

bool keepsAllNames(std::string_view path, PathStyle style) {
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !isSeparator(path[i], style)) continue;
    const std::string_view part = path.substr(start, i - start);
    if (!part.empty() && part != "." && part != ".." && !keepsName(part, style)) return false;
    start = i + 1;
  }
  return true;
}

std::string exactPath(const std::string& path, const std::string& workingDir, PathStyle style) {
  if (style == PathStyle::posix) return path;
  const PathRoot root = rootOf(path, style);
  std::string exact;
  std::string_view rest;
  switch (root.kind) {
    case RootKind::drive:
      exact = "\\\\?\\" + path.substr(0, 2);
      rest = std::string_view(path).substr(3);
      break;
    case RootKind::network:
      if (root.server.empty() || root.share.empty()) return path;
      exact = "\\\\?\\UNC\\" + std::string(root.server) + "\\" + std::string(root.share);
      rest = std::string_view(path).substr(root.length);
      break;
    case RootKind::none:
      // Only a working directory that is itself relative could leave the
      // joined path relative: it then stays as it is.
      if (workingDir.empty()) return path;
      return exactPath(workingDir + "\\" + path, std::string(), style);
    default:
      return path;
  }
  const std::vector<std::string> parts = resolvedComponents(rest, style);
  for (const std::string& part : parts) exact += "\\" + part;
  if (parts.empty()) exact += '\\';
  return exact;
}

std::string plainPath(const std::string& path, PathStyle style) {
  if (style == PathStyle::posix) return path;
  if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + path.substr(8);
  if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
  return path;
}

}  // namespace zub
