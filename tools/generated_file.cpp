#include "tools/generated_file.h"

#include <cstdio>

bool writeGeneratedFile(const char* tool, const char* path, const std::string& text) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::fprintf(stderr, "%s: cannot create %s\n", tool, path);
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  // A half-written source would compile into a wrong picture; none is better.
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "%s: cannot write %s\n", tool, path);
    std::remove(path);
    return false;
  }
  return true;
}
