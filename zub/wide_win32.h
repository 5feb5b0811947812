// The program's strings are UTF-8; the Windows functions that take every
// name a file system holds take UTF-16. These conversions are the only
// crossing between the two, and only *_win32.cpp files include this.
#pragma once

#include <string>
#include <string_view>

namespace zub {
namespace wide {

// `utf8` as UTF-16 into `out`. False (out unspecified) when `utf8` is not
// strict UTF-8: an overlong form, an encoded surrogate, a stray or missing
// continuation byte, or a code point above U+10FFFF.
bool fromUtf8(std::string_view utf8, std::wstring& out);

// fromUtf8() that also takes back what toUtf8() makes of an unpaired
// surrogate: for text that came from the system (toUtf8()), never for a
// name from elsewhere.
bool fromWtf8(std::string_view wtf8, std::wstring& out);

// `text` (`length` units) as UTF-8. An unpaired surrogate, which NTFS names
// may hold, becomes its own three bytes (ED A0..BF 80..BF): distinct for
// every surrogate, so no two names collapse into one, and refused by
// fromUtf8(), so such a name never reaches the file system as another
// name. Never fails.
std::string toUtf8(const wchar_t* text, size_t length);
std::string toUtf8(const std::wstring& text);

// The UTF-16 path to hand the wide file functions for the UTF-8 path
// `path`: its exactPath() (zub/path.h) below the working directory, so the
// name reaches the file system exactly (trailing dots and blanks, device
// names such as "con.txt") and beyond 260 characters. Empty when `path` is
// empty or not strict UTF-8: no file call can succeed on it.
std::wstring filePath(const std::string& path);

// The working directory as the system reports it, UTF-16; empty on failure.
std::wstring workingDirectory();

}  // namespace wide
}  // namespace zub
