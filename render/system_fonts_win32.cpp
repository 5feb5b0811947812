// Windows: the font files the system's own fallback names, asked in its
// order, each checked with FreeType for the character. DirectWrite's
// fallback would need a text source object of our own making (a COM
// class); the lists it reads are in the registry and serve as well:
//   - the emoji font first, for characters shown as emoji;
//   - the bold faces of the interface's sans fonts (Segoe UI, Arial,
//     Tahoma);
//   - the font links of those fonts (FontLink\SystemLink), the lists with
//     which Windows itself completes Segoe UI and Tahoma with the Chinese,
//     Japanese, Korean and symbol fonts, each link's bold face first;
//   - every other installed font, machine-wide and the user's own, bold
//     upright faces first and italic ones last.
// Each face's character coverage is read once, on first need, and kept as
// ranges, so later lookups cost a binary search per face asked.
#include "render/system_fonts.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "zub/wide_win32.h"

namespace {

// A face of an installed font file and, once read, the characters it has.
struct InstalledFace {
  std::wstring name;  // as the registry names it ("Segoe UI Bold"); may be empty
  std::string path;   // UTF-8, as FreeType opens it
  int index = -1;     // the face in a collection; -1: find it by name, else 0
  bool read = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;  // covered, ascending, disjoint
};

struct FontCatalogue {
  bool built = false;
  FT_Library library = nullptr;
  std::vector<InstalledFace> faces;
  std::vector<size_t> textOrder;   // indices into faces, in asking order
  std::vector<size_t> emojiOrder;  // the emoji font, then textOrder
  std::map<std::string, std::vector<std::string>> collectionNames;  // file -> "Family Style" per face
};

std::mutex catalogueLock;
FontCatalogue catalogue;

const wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const wchar_t kSystemLinkKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink";

bool sameName(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool endsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && sameName(text.substr(text.size() - tail.size()), tail);
}

bool containsWord(const std::wstring& name, const wchar_t* word) {
  std::wstring upper = name;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return (L" " + upper + L" ").find(std::wstring(L" ") + word + L" ") != std::wstring::npos;
}

std::wstring fontsFolder() {
  PWSTR folder = nullptr;
  std::wstring result;
  if (SHGetKnownFolderPath(FOLDERID_Fonts, 0, nullptr, &folder) == S_OK) result = folder;
  CoTaskMemFree(folder);
  if (result.empty()) {
    wchar_t windows[MAX_PATH];
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) result = std::wstring(windows, length) + L"\\Fonts";
  }
  return result;
}

// A registry file name as a full path: names without a drive or share are
// in the Fonts folder.
std::wstring fontFilePath(std::wstring file, const std::wstring& folder) {
  if (file.find(L'%') != std::wstring::npos) {
    wchar_t expanded[1024];
    const DWORD length = ExpandEnvironmentStringsW(file.c_str(), expanded, 1024);
    if (length > 0 && length <= 1024) file = expanded;
  }
  const bool absolute = (file.size() >= 2 && file[1] == L':') || file.rfind(L"\\\\", 0) == 0;
  return absolute ? file : folder + L"\\" + file;
}

// The string values of `key` as (name, data) pairs; REG_MULTI_SZ data
// keeps its NULs.
std::vector<std::pair<std::wstring, std::wstring>> stringValues(HKEY root, const wchar_t* key) {
  std::vector<std::pair<std::wstring, std::wstring>> values;
  HKEY handle;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return values;
  DWORD nameMax = 0, dataMax = 0;
  if (RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &nameMax, &dataMax, nullptr, nullptr) == ERROR_SUCCESS) {
    std::vector<wchar_t> name(nameMax + 1);
    std::vector<BYTE> data(dataMax + sizeof(wchar_t));
    for (DWORD i = 0;; ++i) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD dataLength = static_cast<DWORD>(data.size());
      DWORD type = 0;
      const LONG status =
          RegEnumValueW(handle, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) continue;
      if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) continue;
      std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), dataLength / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      values.emplace_back(std::wstring(name.data(), nameLength), text);
    }
  }
  RegCloseKey(handle);
  return values;
}

// The faces a Fonts value names: "A & B (TrueType)" are faces 0 and 1 of
// its file. A value of one name may stand for any face of a collection,
// which is then found by that name.
void addInstalledFonts(HKEY root, const std::wstring& folder, std::vector<InstalledFace>& faces) {
  for (auto& [label, file] : stringValues(root, kFontsKey)) {
    // "@" names are the vertical-writing aliases of another entry.
    if (label.empty() || label[0] == L'@' || file.empty()) continue;
    std::wstring names = label;
    const size_t paren = names.rfind(L" (");
    if (paren != std::wstring::npos && names.back() == L')') names.erase(paren);
    const std::string path = zub::wide::toUtf8(fontFilePath(file, folder));
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
      const size_t amp = names.find(L" & ", start);
      parts.push_back(names.substr(start, amp == std::wstring::npos ? std::wstring::npos : amp - start));
      if (amp == std::wstring::npos) break;
      start = amp + 3;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
      InstalledFace face;
      face.name = parts[i];
      face.path = path;
      face.index = parts.size() > 1 ? static_cast<int>(i) : -1;
      faces.push_back(std::move(face));
    }
  }
}

// "FILE,Face name[,scale,scale]" entries of the font link list of `family`.
std::vector<std::pair<std::wstring, std::wstring>> linkedFonts(const std::wstring& family) {
  std::vector<std::pair<std::wstring, std::wstring>> links;
  for (auto& [name, data] : stringValues(HKEY_LOCAL_MACHINE, kSystemLinkKey)) {
    if (!sameName(name, family)) continue;
    for (size_t start = 0; start < data.size();) {
      size_t end = data.find(L'\0', start);
      if (end == std::wstring::npos) end = data.size();
      const std::wstring entry = data.substr(start, end - start);
      start = end + 1;
      const size_t comma = entry.find(L',');
      const std::wstring file = entry.substr(0, comma);
      std::wstring face;
      if (comma != std::wstring::npos) face = entry.substr(comma + 1, entry.find(L',', comma + 1) - comma - 1);
      if (!file.empty()) links.emplace_back(file, face);
    }
  }
  return links;
}

// Adds the face called `name` to `order` when it is installed; false when
// it is not.
bool askFaceNamed(const FontCatalogue& fonts, const std::wstring& name, std::vector<size_t>& order) {
  bool found = false;
  for (size_t i = 0; i < fonts.faces.size(); ++i) {
    if (!sameName(fonts.faces[i].name, name)) continue;
    order.push_back(i);
    found = true;
  }
  return found;
}

void buildCatalogue(FontCatalogue& fonts) {
  fonts.built = true;
  if (FT_Init_FreeType(&fonts.library) != 0) {
    fonts.library = nullptr;
    return;
  }
  const std::wstring folder = fontsFolder();
  addInstalledFonts(HKEY_LOCAL_MACHINE, folder, fonts.faces);
  addInstalledFonts(HKEY_CURRENT_USER, folder, fonts.faces);

  std::vector<size_t> order;
  for (const wchar_t* bold : {L"Segoe UI Bold", L"Arial Bold", L"Tahoma Bold"})
    askFaceNamed(fonts, bold, order);
  for (const wchar_t* family : {L"Segoe UI", L"Tahoma", L"Microsoft Sans Serif"}) {
    for (const std::wstring& list : {std::wstring(family) + L" Bold", std::wstring(family)}) {
      for (auto& [file, face] : linkedFonts(list)) {
        if (!face.empty() && !endsWith(face, L" Bold")) askFaceNamed(fonts, face + L" Bold", order);
        if (!face.empty() && askFaceNamed(fonts, face, order)) continue;
        // A linked file the Fonts list does not name: its first face.
        InstalledFace linked;
        linked.name = face;
        linked.path = zub::wide::toUtf8(fontFilePath(file, folder));
        linked.index = 0;
        fonts.faces.push_back(std::move(linked));
        order.push_back(fonts.faces.size() - 1);
      }
    }
  }
  // Then the rest: bold upright, upright, italic.
  for (int pass = 0; pass < 3; ++pass) {
    for (size_t i = 0; i < fonts.faces.size(); ++i) {
      const std::wstring& name = fonts.faces[i].name;
      const bool italic = containsWord(name, L"ITALIC") || containsWord(name, L"OBLIQUE");
      const bool bold = containsWord(name, L"BOLD");
      if ((pass == 0 && bold && !italic) || (pass == 1 && !bold && !italic) || (pass == 2 && italic))
        order.push_back(i);
    }
  }
  // Each face once, where it is first asked: a face is its file and index,
  // or its file and name while the index is still to be found.
  std::set<std::string> seen;
  for (const size_t i : order) {
    const InstalledFace& installed = fonts.faces[i];
    std::string key = std::to_string(installed.index) + "|" + installed.path + "|" +
                      (installed.index < 0 ? zub::wide::toUtf8(installed.name) : "");
    for (char& c : key) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (!seen.insert(key).second) continue;
    fonts.textOrder.push_back(i);
  }
  std::vector<size_t> emoji;
  askFaceNamed(fonts, L"Segoe UI Emoji", emoji);
  fonts.emojiOrder = emoji;
  fonts.emojiOrder.insert(fonts.emojiOrder.end(), fonts.textOrder.begin(), fonts.textOrder.end());
}

// The face of a collection that `name` names ("Family Style", or the
// family alone for its regular face); 0 when none does. Each collection's
// face names are read once.
int faceIndexNamed(FontCatalogue& fonts, const std::string& path, const std::wstring& name) {
  auto [entry, added] = fonts.collectionNames.try_emplace(path);
  std::vector<std::string>& names = entry->second;
  if (added) {
    FT_Face face;
    FT_Long count = 0;
    if (FT_New_Face(fonts.library, path.c_str(), -1, &face) == 0) {
      count = face->num_faces;
      FT_Done_Face(face);
    }
    for (FT_Long i = 0; i < count && count > 1; ++i) {
      std::string full;
      if (FT_New_Face(fonts.library, path.c_str(), i, &face) == 0) {
        full = face->family_name ? face->family_name : "";
        const std::string style = face->style_name ? face->style_name : "";
        if (!style.empty() && style != "Regular") full += " " + style;
        FT_Done_Face(face);
      }
      names.push_back(full);
    }
  }
  const std::string wanted = zub::wide::toUtf8(name);
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].size() == wanted.size() && _stricmp(names[i].c_str(), wanted.c_str()) == 0)
      return static_cast<int>(i);
  return 0;
}

// Reads the characters that fonts.faces[faceIndex] has a glyph for through
// its Unicode character map. A face without one (symbol fonts), or without
// outlines (a colour bitmap font this build cannot draw, a .fon raster
// font), has none.
void readCoverage(FontCatalogue& fonts, size_t faceIndex) {
  fonts.faces[faceIndex].read = true;
  if (fonts.faces[faceIndex].index < 0)
    fonts.faces[faceIndex].index = faceIndexNamed(fonts, fonts.faces[faceIndex].path, fonts.faces[faceIndex].name);
  InstalledFace& installed = fonts.faces[faceIndex];
  FT_Face face;
  if (FT_New_Face(fonts.library, installed.path.c_str(), installed.index, &face) != 0) return;
  if (face->charmap != nullptr && face->charmap->encoding == FT_ENCODING_UNICODE && FT_IS_SCALABLE(face)) {
    FT_UInt glyph = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0; c = FT_Get_Next_Char(face, c, &glyph)) {
      const char32_t code = static_cast<char32_t>(c);
      if (!installed.ranges.empty() && installed.ranges.back().second + 1 == code)
        installed.ranges.back().second = code;
      else
        installed.ranges.emplace_back(code, code);
    }
  }
  FT_Done_Face(face);
}

bool covers(const InstalledFace& face, char32_t codePoint) {
  const auto after = std::upper_bound(face.ranges.begin(), face.ranges.end(), codePoint,
                                      [](char32_t c, const std::pair<char32_t, char32_t>& r) { return c < r.first; });
  return after != face.ranges.begin() && std::prev(after)->second >= codePoint;
}

}  // namespace

bool systemFaceFor(char32_t codePoint, bool emoji, FontFace& face, std::size_t& position) {
  const std::lock_guard<std::mutex> hold(catalogueLock);
  if (!catalogue.built) buildCatalogue(catalogue);
  if (catalogue.library == nullptr) return false;
  const std::vector<size_t>& order = emoji ? catalogue.emojiOrder : catalogue.textOrder;
  for (size_t at = position; at < order.size(); ++at) {
    // By index: reading a face's coverage must not hold on to it while
    // anything else in the catalogue changes.
    const size_t i = order[at];
    if (!catalogue.faces[i].read) readCoverage(catalogue, i);
    if (!covers(catalogue.faces[i], codePoint)) continue;
    face.path = catalogue.faces[i].path;
    face.index = catalogue.faces[i].index;
    position = at;
    return true;
  }
  return false;
}
