#include "zub/atomic_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "zub/atomic_file_internal.h"
#include "zub/platform.h"

namespace zub {
namespace {

struct Bytes {
  const char* data;
  size_t size;
};

size_t fillFromBytes(void* context, uint64_t offset, char* out, size_t capacity) {
  const Bytes& bytes = *static_cast<const Bytes*>(context);
  if (offset >= bytes.size) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes.size - offset, capacity));
  std::memcpy(out, bytes.data + offset, n);
  return n;
}

}  // namespace

std::string temporaryPrefix(const std::string& file) { return file + ".tmp-"; }

std::string temporaryName(const std::string& file) {
  static unsigned counter = 0;
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, "%lu-%u", platform::processId(), ++counter);
  return temporaryPrefix(file) + suffix;
}

std::string lockedTemporaryName(const std::string& file) { return temporaryPrefix(file) + "locked"; }

std::unordered_set<std::string>& sweptFiles() {
  static std::unordered_set<std::string> files;
  return files;
}

bool replaceFile(const std::string& path, const char* data, size_t size) {
  Bytes bytes{data, size};
  return replaceFile(path, ContentSource{fillFromBytes, &bytes});
}

bool replaceFile(const std::string& path, const std::string& content) {
  return replaceFile(path, content.data(), content.size());
}

bool createFile(const std::string& path, const char* data, size_t size) {
  Bytes bytes{data, size};
  return createFile(path, ContentSource{fillFromBytes, &bytes});
}

}  // namespace zub
