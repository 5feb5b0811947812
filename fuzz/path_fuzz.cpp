// Path function fuzzing. The first input byte picks the path style and the
// fallback separator; the rest is the path. Checked: normalising gives one
// separator throughout, no "." or ".." step, no empty component, and
// normalising twice changes nothing; in both styles a rooted path without
// a backslash normalises alike; join, tokenize, dirName, baseName and
// withSeparator keep their contracts.
//   scripts/test-fuzz.sh            (about 30 s per target)
//   FUZZ_SECONDS=3600 scripts/test-fuzz.sh
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zub/path.h"

namespace {

void check(bool ok, const char* what, const std::string& input) {
  if (ok) return;
  std::fprintf(stderr, "path_fuzz: %s (input of %zu bytes)\n", what, input.size());
  abort();
}

// A bare drive ("D:") is the one result that reads as relative again: the
// drive root loses its separator by design.
bool isBareDrive(const std::string& path, zub::PathStyle style) {
  return style == zub::PathStyle::windows && path.size() == 2 && path[1] == ':';
}

void checkNormalized(const std::string& input, const std::string& result, zub::PathStyle style) {
  check(!result.empty(), "normalize gave the empty string", input);
  char sep = 0;
  size_t start = 0;
  if (style == zub::PathStyle::windows && result.size() >= 2 && result[0] == '\\' &&
      result[1] == '\\')
    start = 1;  // a network path keeps its doubled backslash
  for (size_t i = 0; i < result.size(); ++i) {
    if (!zub::isSeparator(result[i], style)) continue;
    if (sep == 0) sep = result[i];
    check(result[i] == sep, "two different separators in one result", input);
  }
  if (result.size() == 1) return;
  check(!zub::isSeparator(result.back(), style), "a trailing separator", input);
  // Components between separators: none empty, none "." or "..".
  size_t i = start;
  if (zub::isSeparator(result[i], style)) ++i;
  while (i <= result.size()) {
    size_t end = i;
    while (end < result.size() && !zub::isSeparator(result[end], style)) ++end;
    const std::string component = result.substr(i, end - i);
    check(!component.empty(), "an empty component", input);
    check(component != "." && component != "..", "a dot step survived", input);
    i = end + 1;
  }
}

void checkSplitting(const std::string& path, zub::PathStyle style) {
  const std::string dir = zub::dirName(path.c_str(), style);
  const std::string base = zub::baseName(path.c_str(), style);
  const std::string cut = path.c_str();  // both stop at a zero byte
  bool hasSeparator = false;
  for (char c : cut) hasSeparator = hasSeparator || zub::isSeparator(c, style);
  if (!hasSeparator) {
    check(dir == cut && base == cut, "a bare name is its own dirName and baseName", path);
    return;
  }
  check(dir + base == cut, "dirName + baseName is not the path", path);
  check(zub::isSeparator(dir.back(), style), "dirName does not end in a separator", path);
  for (char c : base) check(!zub::isSeparator(c, style), "a separator in baseName", path);
}

void checkTokens(const std::string& s, const std::string& delimiters) {
  std::string kept;
  for (char c : s)
    if (delimiters.find(c) == std::string::npos) kept += c;
  std::string joined;
  for (const std::string& token : zub::tokenize(s, delimiters)) {
    check(!token.empty(), "an empty token", s);
    check(token.find_first_of(delimiters) == std::string::npos, "a delimiter in a token", s);
    joined += token;
  }
  check(joined == kept, "tokens are not the string without its delimiters", s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const zub::PathStyle style = (data[0] & 1) ? zub::PathStyle::windows : zub::PathStyle::posix;
  const char fallback = (data[0] & 2) ? '\\' : '/';
  const std::string path(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string workingDir =
      style == zub::PathStyle::windows ? "D:\\work\\sub" : "/work/sub";

  const std::string once = zub::normalizeAt(path, workingDir, fallback, style);
  checkNormalized(path, once, style);
  if (!isBareDrive(once, style)) {
    check(zub::normalizeAt(once, workingDir, fallback, style) == once,
          "normalizing twice changed the result", path);
  }
  if (!path.empty() && path[0] == '/' && path.find('\\') == std::string::npos) {
    check(zub::normalizeAt(path, workingDir, fallback, zub::PathStyle::posix) ==
              zub::normalizeAt(path, workingDir, fallback, zub::PathStyle::windows),
          "the styles disagree on a rooted path without a backslash", path);
  }

  checkSplitting(path, style);
  checkTokens(path, style == zub::PathStyle::windows ? "/\\" : "/");

  const std::string rebuilt = zub::withSeparator(path, fallback, style);
  check(zub::withSeparator(rebuilt, fallback, style) == rebuilt, "withSeparator twice differs",
        path);
  if (zub::isSeparator(fallback, style)) {  // else it is a name byte, doubled or not
    check(rebuilt.find(std::string(2, fallback)) == std::string::npos,
          "withSeparator left a doubled separator", path);
  }

  const size_t half = path.size() / 2;
  const std::string a = path.substr(0, half), b = path.substr(half);
  const std::string joined = zub::join(fallback, {a, b});
  check(joined.compare(0, a.size(), a) == 0, "join does not start with its first part", path);
  check(joined.size() >= b.size() && joined.compare(joined.size() - b.size(), b.size(), b) == 0,
        "join does not end with its last part", path);
  check(joined.size() <= a.size() + b.size() + 1, "join added more than one separator", path);
  return 0;
}
