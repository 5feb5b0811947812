// MD5 from the system's own cryptography (CNG), present on every Windows
// since Vista: nothing third-party to build or ship.
#include <windows.h>
#include <bcrypt.h>

#include "zub/digest.h"

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

}  // namespace zub
