#include "zub/string_list.h"

#include <atomic>
#include <utility>

namespace zub {
namespace {

// Shared by every list, so that no two lists ever hold the same version
// after a change. Atomic because the first directory may be read on
// another thread while the toolkit starts.
std::atomic<uint64_t> lastVersion{0};

}  // namespace

StringList::StringList(std::initializer_list<std::string_view> items) {
  for (std::string_view item : items) push_back(item);
  changed();
}

StringList::StringList(const std::vector<std::string>& items) {
  for (const std::string& item : items) push_back(item);
  changed();
}

StringList::StringList(const StringList& other)
    : bytes(other.bytes), slots(other.slots), versionNumber(other.version()), versionStale(false) {}

StringList& StringList::operator=(const StringList& other) {
  if (this != &other) {
    bytes = other.bytes;
    slots = other.slots;
    versionNumber = other.version();
    versionStale = false;
  }
  return *this;
}

StringList::StringList(StringList&& other) noexcept
    : bytes(std::move(other.bytes)), slots(std::move(other.slots)),
      versionNumber(other.versionNumber), versionStale(other.versionStale) {
  other.release();
}

StringList& StringList::operator=(StringList&& other) noexcept {
  if (this != &other) {
    bytes = std::move(other.bytes);
    slots = std::move(other.slots);
    versionNumber = other.versionNumber;
    versionStale = other.versionStale;
    other.release();
  }
  return *this;
}

uint64_t StringList::version() const {
  if (versionStale) {
    versionNumber = ++lastVersion;
    versionStale = false;
  }
  return versionNumber;
}

void StringList::push_back(std::string_view item) {
  const size_t length = item.size() < maxLength ? item.size() : maxLength;
  slots.push_back(static_cast<uint64_t>(bytes.size()) << 24 | length);
  bytes.append(item.data(), length);
  bytes.push_back('\0');
  changed();
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
  changed();
}

void StringList::clear() {
  bytes.clear();
  slots.clear();
  changed();
}

void StringList::release() {
  bytes = std::string();
  slots = std::vector<uint64_t>();
  changed();
}

void StringList::reserve(size_t count, size_t characters) {
  slots.reserve(count);
  bytes.reserve(characters + count);
}

void StringList::permute(const std::vector<uint32_t>& order) {
  std::vector<uint64_t> reordered(slots.size());
  for (size_t i = 0; i < slots.size() && i < order.size(); ++i) reordered[i] = slots[order[i]];
  slots.swap(reordered);
  changed();
}

}  // namespace zub
