#include "zub/digest.h"

namespace zub {

char* writeHex(const Digest& d, char* out) {
  static const char hex[] = "0123456789ABCDEF";
  for (const unsigned char byte : d) {
    *out++ = hex[byte >> 4];
    *out++ = hex[byte & 0x0F];
  }
  return out;
}

std::string hexOf(const Digest& d) {
  std::string result(d.size() * 2, '0');
  writeHex(d, result.data());
  return result;
}

bool parseHex(const char* text, size_t length, Digest& out) {
  // Value of each upper-case hexadecimal digit, 0xFF for every other byte;
  // marks files hold one key per entry, so this runs often.
  static const std::array<unsigned char, 256> digitValue = [] {
    std::array<unsigned char, 256> table;
    table.fill(0xFF);
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<unsigned char>(c - 'A' + 10);
    return table;
  }();
  if (length != out.size() * 2) return false;
  unsigned char bad = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char high = digitValue[static_cast<unsigned char>(text[2 * i])];
    const unsigned char low = digitValue[static_cast<unsigned char>(text[2 * i + 1])];
    bad |= high | low;
    out[i] = static_cast<unsigned char>((high << 4) | (low & 0x0F));
  }
  return (bad & 0xF0) == 0;
}

std::string digestHex(const std::string& s) { return hexOf(digest(s)); }

}  // namespace zub
