#include "zub/wide_win32.h"

#include <windows.h>

#include <vector>

namespace zub {
namespace wide {

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// `root` (as "\\?\C:" or "\\?\UNC\server\share") followed by the
// components of `rest`, "." dropped and ".." taking away the one before
// it, never the root: the resolution the system would do itself, which
// the "\\?\" form switches off.
std::wstring verbatim(const std::wstring& root, const std::wstring& rest) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    const std::wstring part = rest.substr(start, end - start);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::wstring path = root;
  for (const std::wstring& part : parts) path += L"\\" + part;
  if (parts.empty()) path += L'\\';
  return path;
}

std::wstring verbatimPath(const std::wstring& path, bool mayBeRelative) {
  const size_t n = path.size();
  // Already verbatim or a device: the caller means exactly this.
  if (n >= 4 && isSeparator(path[0]) && isSeparator(path[1]) &&
      (path[2] == L'?' || path[2] == L'.') && isSeparator(path[3]))
    return path;
  if (n >= 3 && isDriveLetter(path[0]) && path[1] == L':' && isSeparator(path[2]))
    return verbatim(L"\\\\?\\" + path.substr(0, 2), path.substr(3));
  if (n >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    // A network path: "\\server\share" is its root.
    size_t serverEnd = 2;
    while (serverEnd < n && !isSeparator(path[serverEnd])) ++serverEnd;
    size_t shareEnd = serverEnd + 1;
    while (shareEnd < n && !isSeparator(path[shareEnd])) ++shareEnd;
    if (serverEnd == 2 || serverEnd >= n || shareEnd == serverEnd + 1) return path;
    const std::wstring root = L"\\\\?\\UNC\\" + path.substr(2, serverEnd - 2) + L"\\" +
                              path.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    return verbatim(root, shareEnd < n ? path.substr(shareEnd + 1) : std::wstring());
  }
  // Root-relative ("\x") and drive-relative ("C:x") paths depend on state
  // the system keeps per drive: left to it.
  if (n >= 1 && isSeparator(path[0])) return path;
  if (n >= 2 && path[1] == L':') return path;
  if (!mayBeRelative) return path;
  const std::wstring working = workingDirectory();
  if (working.empty()) return path;
  return verbatimPath(working + L"\\" + path, false);
}

}  // namespace

bool fromUtf8(std::string_view utf8, std::wstring& out) {
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
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
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
  return verbatimPath(converted, true);
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
