#include "zub/atomic_file.h"

namespace zub {

bool replaceFile(const std::string& path, const std::string& content) {
  return replaceFile(path, content.data(), content.size());
}

}  // namespace zub
