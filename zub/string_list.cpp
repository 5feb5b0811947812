#include "zub/string_list.h"

#include <utility>

namespace zub {

StringList::StringList(std::initializer_list<std::string_view> items) {
  for (std::string_view item : items) push_back(item);
}

StringList::StringList(const std::vector<std::string>& items) {
  for (const std::string& item : items) push_back(item);
}

StringList::StringList(StringList&& other) noexcept
    : bytes(std::move(other.bytes)), slots(std::move(other.slots)) {
  other.release();
}

StringList& StringList::operator=(StringList&& other) noexcept {
  if (this != &other) {
    bytes = std::move(other.bytes);
    slots = std::move(other.slots);
    other.release();
  }
  return *this;
}

void StringList::push_back(std::string_view item) {
  const size_t length = item.size() < maxLength ? item.size() : maxLength;
  slots.push_back(static_cast<uint64_t>(bytes.size()) << 24 | length);
  bytes.append(item.data(), length);
  bytes.push_back('\0');
}

void StringList::pushJoined(std::initializer_list<std::string_view> pieces) {
  const size_t start = bytes.size();
  size_t length = 0;
  for (std::string_view piece : pieces) {
    const size_t room = maxLength - length;
    const size_t taken = piece.size() < room ? piece.size() : room;
    bytes.append(piece.data(), taken);
    length += taken;
  }
  slots.push_back(static_cast<uint64_t>(start) << 24 | length);
  bytes.push_back('\0');
}

void StringList::clear() {
  bytes.clear();
  slots.clear();
}

void StringList::release() {
  bytes = std::string();
  slots = std::vector<uint64_t>();
}

void StringList::reserve(size_t count, size_t characters) {
  slots.reserve(count);
  bytes.reserve(characters + count);
}

void StringList::permute(const std::vector<uint32_t>& order) {
  std::vector<uint64_t> reordered(slots.size());
  for (size_t i = 0; i < slots.size() && i < order.size(); ++i) reordered[i] = slots[order[i]];
  slots.swap(reordered);
}

}  // namespace zub
