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

// Reads back what hexOf() writes. False, leaving `out` unspecified, unless
// `text` is exactly 32 digits from "0123456789ABCDEF".
bool parseHex(const char* text, size_t length, Digest& out);

}  // namespace zub
