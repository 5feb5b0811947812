#include "zub/path.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "zub/platform.h"

namespace zub {
namespace {

// Bytes at or above 0x80 are never letters, whatever the signedness of char.
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool hasDrivePrefix(const std::string& p, PathStyle style) {
  return style == PathStyle::windows && p.size() >= 3 && isLetter(p[0]) && p[1] == ':' &&
         isSeparator(p[2], style);
}

size_t lastSeparator(const char* path, PathStyle style) {
  size_t last = std::string::npos;
  for (size_t i = 0; path[i] != '\0'; ++i)
    if (isSeparator(path[i], style)) last = i;
  return last;
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

bool isAbsolute(const std::string& path, PathStyle style) {
  return hasDrivePrefix(path, style) || (!path.empty() && isSeparator(path[0], style));
}

std::string currentDir() { return platform::workingDirectory(); }

std::string normalizeAt(std::string path, const std::string& workingDir,
                        char fallbackSep, PathStyle style) {
  // A fallback that is no separator of the style would be read back as a
  // name byte: in the POSIX style '\\' is one.
  char sep = detectSeparator(path, isSeparator(fallbackSep, style) ? fallbackSep : '/', style);
  if (!isAbsolute(path, style)) path = workingDir + sep + path;
  // A network path keeps its leading "\\", and a single separator
  // throughout then has to be the backslash: "//srv" would read back as an
  // ordinary rooted path.
  if (style == PathStyle::windows && path.size() >= 2 && path[0] == '\\' && path[1] == '\\')
    sep = '\\';
  if (!isSeparator(path[0], style) && path[0] != '.' && !isLetter(path[0])) return path;

  std::string prefix;
  size_t i = 0;
  if (hasDrivePrefix(path, style)) {
    prefix = path.substr(0, 2);
    i = 3;
  } else if (style == PathStyle::windows && path.size() >= 2 && path[0] == '\\' &&
             path[1] == '\\') {
    prefix = "\\";
    i = 2;
  } else if (isSeparator(path[0], style)) {
    i = 1;
  }

  std::vector<std::string> parts;
  const size_t n = path.size();
  while (i < n) {
    if (isSeparator(path[i], style)) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < n && !isSeparator(path[end], style)) ++end;
    const size_t len = end - i;
    if (len == 2 && path[i] == '.' && path[i + 1] == '.') {
      if (!parts.empty()) parts.pop_back();
    } else if (!(len == 1 && path[i] == '.')) {
      parts.push_back(path.substr(i, len));
    }
    i = end;
  }

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
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

}  // namespace zub
