// Digests: the MD5 of a byte string, which names each marks file and each
// entry's line in it, and its 32-digit hexadecimal form.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zub {

// The MD5 digest (RFC 1321) of the bytes of `s`, as 32 upper-case
// hexadecimal digits.
std::string digestHex(const std::string& s);

// The same digest as its 16 bytes, for callers that compare many of them.
using Digest = std::array<unsigned char, 16>;
Digest digest(std::string_view s);

// `d` as digestHex() writes it: 32 upper-case hexadecimal digits.
std::string hexOf(const Digest& d);

// The 32 digits of hexOf(d) at `out` (no terminating zero); returns the
// end of what was written. For writers that format many keys into one
// buffer.
char* writeHex(const Digest& d, char* out);

// Reads back what hexOf() writes. False, leaving `out` unspecified, unless
// `text` is exactly 32 digits from "0123456789ABCDEF".
bool parseHex(const char* text, size_t length, Digest& out);

// The bytes a name (of a file, or the path of a folder; UTF-8) is keyed by
// in the marks files, so that a file an ANSI build of the program wrote
// keeps its marks. Windows: the name in the system's ANSI code page when it
// converts there and back exactly, else its UTF-8 bytes (a name no ANSI
// build could have shown). Elsewhere the name itself.
std::string keyBytes(const std::string& name);

// digest(keyBytes(name)), without copying where the bytes are the name's own.
Digest keyDigest(std::string_view name);

}  // namespace zub
