#include "zub/wide_win32.h"

#include <windows.h>

#include <vector>

#include "zub/path.h"

namespace zub {
namespace wide {

namespace {

// UTF-8 into UTF-16; with `surrogates`, also the three-byte form toUtf8()
// gives an unpaired surrogate (ED A0..BF 80..BF).
bool decode(std::string_view utf8, std::wstring& out, bool surrogates) {
  out.clear();
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    size_t length;
    uint32_t code;
    uint32_t lowest;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, lowest = 0x10000;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF) return false;
    if (code >= 0xD800 && code <= 0xDFFF && !surrogates) return false;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (code >> 10));
      out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<wchar_t>(code);
    }
    i += length;
  }
  return true;
}

}  // namespace

bool fromUtf8(std::string_view utf8, std::wstring& out) { return decode(utf8, out, false); }

bool fromWtf8(std::string_view wtf8, std::wstring& out) { return decode(wtf8, out, true); }

std::string toUtf8(const wchar_t* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t code = static_cast<uint16_t>(text[i]);
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length &&
        static_cast<uint16_t>(text[i + 1]) >= 0xDC00 && static_cast<uint16_t>(text[i + 1]) <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    // A surrogate left unpaired falls through to the three-byte form.
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::string toUtf8(const std::wstring& text) { return toUtf8(text.data(), text.size()); }

std::wstring filePath(const std::string& path) {
  std::wstring converted;
  if (path.empty() || !fromUtf8(path, converted)) return std::wstring();
  // The working directory is the system's, so it may hold what a name
  // from outside may not: an unpaired surrogate.
  const bool relative = rootOf(path, PathStyle::windows).kind == RootKind::none;
  const std::string working = relative ? toUtf8(workingDirectory()) : std::string();
  fromWtf8(exactPath(path, working, PathStyle::windows), converted);
  return converted;
}

std::wstring workingDirectory() {
  // The call says how large a buffer it needs; a directory that changes
  // between the two calls just goes round once more.
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

}  // namespace wide
}  // namespace zub
