// unicode_tables_generator: writes render/unicode_tables.cpp, the few
// character properties the name drawing needs, from the Unicode Character
// Database as Debian's unicode-data package installs it.
//
// Not part of a normal build: the output is committed, so that neither a
// Linux nor a Windows build needs the database or a Unicode library. Run it
// when moving to a newer Unicode version, from the repository root:
//
//   cmake -S . -B build -DORCHARD_UNICODE_GENERATOR=ON
//   cmake --build build --target unicode-tables
//
// or by hand (one line):
//
//   g++ -std=c++17 -O2 tools/unicode_tables_generator.cpp -o gen &&
//   ./gen /usr/share/unicode render/unicode_tables.cpp
//
// What it takes:
//   UnicodeData.txt            general category, combining class, canonical
//                              decompositions
//   DerivedCoreProperties.txt  Default_Ignorable_Code_Point
//   DerivedNormalizationProps.txt  Full_Composition_Exclusion
//   EastAsianWidth.txt         W and F
//   emoji/emoji-data.txt       Emoji_Presentation
//   emoji/emoji-variation-sequences.txt  the bases a U+FE0E or U+FE0F varies
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kLimit = 0x110000;

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> fields(const std::string& line, char separator) {
  std::vector<std::string> out;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) out.push_back(trim(field));
  return out;
}

// "0300..036F ; Property # comment" lines: the ranges whose property field
// is `name`.
bool readPropertyFile(const std::string& path, const std::string& name, std::vector<bool>& set) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "unicode_tables_generator: cannot read %s\n", path.c_str());
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    const std::vector<std::string> f = fields(line, ';');
    if (f.size() < 2 || f[1] != name) continue;
    const size_t dots = f[0].find("..");
    const uint32_t first = std::stoul(f[0].substr(0, dots), nullptr, 16);
    const uint32_t last = dots == std::string::npos ? first : std::stoul(f[0].substr(dots + 2), nullptr, 16);
    for (uint32_t c = first; c <= last && c < kLimit; ++c) set[c] = true;
  }
  return true;
}

void writeRanges(FILE* out, const char* name, const std::vector<bool>& set) {
  std::fprintf(out, "const CodeRange %s[] = {\n", name);
  size_t count = 0;
  for (uint32_t c = 0; c < kLimit;) {
    if (!set[c]) {
      ++c;
      continue;
    }
    uint32_t last = c;
    while (last + 1 < kLimit && set[last + 1]) ++last;
    std::fprintf(out, "    {0x%04X, 0x%04X},\n", c, last);
    ++count;
    c = last + 1;
  }
  std::fprintf(out, "};\nconst std::size_t %sCount = %zu;\n\n", name, count);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s UCD_FOLDER OUT.cpp\n", argv[0]);
    return 2;
  }
  const std::string ucd = argv[1];
  std::vector<std::string> category(kLimit, "Cn");
  std::vector<int> combiningClass(kLimit, 0);
  std::map<uint32_t, std::vector<uint32_t>> decompositions;  // canonical only

  std::ifstream data(ucd + "/UnicodeData.txt");
  if (!data) {
    std::fprintf(stderr, "unicode_tables_generator: cannot read %s/UnicodeData.txt\n", ucd.c_str());
    return 1;
  }
  std::string line;
  uint32_t rangeFirst = 0;
  while (std::getline(data, line)) {
    const std::vector<std::string> f = fields(line, ';');
    if (f.size() < 6) continue;
    const uint32_t c = std::stoul(f[0], nullptr, 16);
    if (f[1].find(", Last>") != std::string::npos) {
      for (uint32_t r = rangeFirst; r <= c; ++r) category[r] = f[2];
      continue;
    }
    if (f[1].find(", First>") != std::string::npos) rangeFirst = c;
    category[c] = f[2];
    combiningClass[c] = std::stoi(f[3]);
    if (!f[5].empty() && f[5][0] != '<') {
      std::istringstream parts(f[5]);
      std::string hex;
      while (parts >> hex) decompositions[c].push_back(std::stoul(hex, nullptr, 16));
    }
  }

  std::vector<bool> ignorable(kLimit), exclusion(kLimit), wide(kLimit), emoji(kLimit), varied(kLimit);
  if (!readPropertyFile(ucd + "/DerivedCoreProperties.txt", "Default_Ignorable_Code_Point", ignorable) ||
      !readPropertyFile(ucd + "/DerivedNormalizationProps.txt", "Full_Composition_Exclusion", exclusion) ||
      !readPropertyFile(ucd + "/EastAsianWidth.txt", "W", wide) ||
      !readPropertyFile(ucd + "/EastAsianWidth.txt", "F", wide) ||
      !readPropertyFile(ucd + "/emoji/emoji-data.txt", "Emoji_Presentation", emoji))
    return 1;
  {
    std::ifstream in(ucd + "/emoji/emoji-variation-sequences.txt");
    if (!in) {
      std::fprintf(stderr, "unicode_tables_generator: cannot read emoji-variation-sequences.txt\n");
      return 1;
    }
    while (std::getline(in, line)) {
      line = line.substr(0, line.find('#'));
      const std::vector<std::string> f = fields(line, ';');
      if (f.empty() || f[0].empty()) continue;
      varied[std::stoul(f[0], nullptr, 16)] = true;
    }
  }

  std::vector<bool> marks(kLimit), invisible(kLimit);
  for (uint32_t c = 0; c < kLimit; ++c) {
    const std::string& gc = category[c];
    // Spaces other than the ASCII one, separators, controls and format
    // characters would pass for a blank or for nothing at all.
    invisible[c] = c >= 0x80 && (ignorable[c] || gc == "Cc" || gc == "Cf" || gc == "Zs" || gc == "Zl" ||
                                 gc == "Zp");
    marks[c] = (gc == "Mn" || gc == "Me") && !invisible[c];
  }

  FILE* out = std::fopen(argv[2], "w");
  if (out == nullptr) {
    std::fprintf(stderr, "unicode_tables_generator: cannot write %s\n", argv[2]);
    return 1;
  }
  std::fprintf(out,
               "// Generated by tools/unicode_tables_generator.cpp from Debian's unicode-data\n"
               "// package; do not edit.\n"
               "#include \"render/unicode_tables.h\"\n\n");
  writeRanges(out, "kCombiningMarks", marks);
  writeRanges(out, "kInvisibleCharacters", invisible);
  writeRanges(out, "kWideCharacters", wide);
  writeRanges(out, "kEmojiPresentation", emoji);
  writeRanges(out, "kEmojiVariationBases", varied);

  std::fprintf(out, "const ClassRange kCombiningClasses[] = {\n");
  size_t count = 0;
  for (uint32_t c = 0; c < kLimit;) {
    if (combiningClass[c] == 0) {
      ++c;
      continue;
    }
    uint32_t last = c;
    while (last + 1 < kLimit && combiningClass[last + 1] == combiningClass[c]) ++last;
    std::fprintf(out, "    {0x%04X, 0x%04X, %d},\n", c, last, combiningClass[c]);
    ++count;
    c = last + 1;
  }
  std::fprintf(out, "};\nconst std::size_t kCombiningClassesCount = %zu;\n\n", count);

  // Every canonical decomposition, by composite; `second` is 0 for a
  // singleton.
  std::fprintf(out, "const Decomposition kDecompositions[] = {\n");
  count = 0;
  for (const auto& [c, parts] : decompositions) {
    std::fprintf(out, "    {0x%04X, 0x%04X, 0x%04X},\n", c, parts[0], parts.size() > 1 ? parts[1] : 0);
    ++count;
  }
  std::fprintf(out, "};\nconst std::size_t kDecompositionsCount = %zu;\n\n", count);

  // The pairs NFC composes, by (first, second).
  std::vector<std::vector<uint32_t>> pairs;
  for (const auto& [c, parts] : decompositions)
    if (parts.size() == 2 && !exclusion[c]) pairs.push_back({parts[0], parts[1], c});
  std::sort(pairs.begin(), pairs.end());
  std::fprintf(out, "const Decomposition kCompositions[] = {\n");
  for (const auto& p : pairs) std::fprintf(out, "    {0x%04X, 0x%04X, 0x%04X},\n", p[2], p[0], p[1]);
  std::fprintf(out, "};\nconst std::size_t kCompositionsCount = %zu;\n", pairs.size());
  std::fclose(out);
  return 0;
}
