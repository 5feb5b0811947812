// MD5 from the system's own cryptography (CNG), present on every Windows
// since Vista: nothing third-party to build or ship.
#include <windows.h>
#include <bcrypt.h>

#include <climits>

#include "zub/digest.h"
#include "zub/wide_win32.h"

namespace zub {
namespace {

// Opened once and kept for the life of the process; hashing objects made
// from it are cheap.
BCRYPT_ALG_HANDLE md5Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
      handle = nullptr;
    return handle;
  }();
  return provider;
}

}  // namespace

Digest digest(std::string_view s) {
  // CNG fails only when the system's own provider is missing; every digest
  // is then all zero bytes, so the program still runs, with one shared
  // marks file.
  Digest result{};
  BCRYPT_HASH_HANDLE hash = nullptr;
  const BCRYPT_ALG_HANDLE provider = md5Provider();
  if (provider == nullptr ||
      !BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
    return result;
  // BCryptHashData takes at most 4 GiB at a time.
  const auto* data = reinterpret_cast<const unsigned char*>(s.data());
  size_t left = s.size();
  bool ok = true;
  while (ok && left > 0) {
    const ULONG chunk = left > 0x40000000u ? 0x40000000u : static_cast<ULONG>(left);
    ok = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(data), chunk, 0));
    data += chunk;
    left -= chunk;
  }
  if (!ok || !BCRYPT_SUCCESS(BCryptFinishHash(hash, result.data(), result.size(), 0)))
    result.fill(0);
  BCryptDestroyHash(hash);
  return result;
}

namespace {

// The system locale's ANSI code page, the one the names of an ANSI build
// were in. Not GetACP(): the manifest makes UTF-8 the process's own code
// page, which would hide it. 0 when it is UTF-8 itself.
UINT ansiCodePage() {
  static const UINT codePage = [] {
    DWORD found = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&found), sizeof found / sizeof(WCHAR)) == 0 ||
        found == CP_UTF8)
      return UINT{0};
    return static_cast<UINT>(found);
  }();
  return codePage;
}

bool isAscii(std::string_view name) {
  for (const char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string keyBytes(const std::string& name) {
  // ASCII is the same in every ANSI code page.
  const UINT codePage = ansiCodePage();
  std::wstring text;
  if (isAscii(name) || codePage == 0 || name.size() > INT_MAX / 4 || !wide::fromUtf8(name, text))
    return name;
  const int length = static_cast<int>(text.size());
  // No best fit: a character the code page lacks is no reason to take
  // another one's key.
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                       0, nullptr, &lossy);
  if (size <= 0 || lossy) return name;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, bytes.data(), size,
                          nullptr, &lossy) != size ||
      lossy)
    return name;
  // And back, exactly: only then did an ANSI build see this very name.
  const int backLength =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (backLength != length) return name;
  std::wstring back(static_cast<size_t>(backLength), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, back.data(), backLength);
  return back == text ? bytes : name;
}

Digest keyDigest(std::string_view name) {
  if (isAscii(name)) return digest(name);
  return digest(keyBytes(std::string(name)));
}

}  // namespace zub
