// MD5 from nettle, the library Debian ships for it.
#include <nettle/md5.h>

#include "zub/digest.h"

namespace zub {

Digest digest(std::string_view s) {
  md5_ctx context;
  md5_init(&context);
  md5_update(&context, s.size(), reinterpret_cast<const uint8_t*>(s.data()));
  Digest result;
  md5_digest(&context, result.size(), result.data());
  return result;
}

}  // namespace zub

namespace zub {

// POSIX names were never converted: they are keyed by their own bytes.
std::string keyBytes(const std::string& name) { return name; }

Digest keyDigest(std::string_view name) { return digest(name); }

}  // namespace zub
