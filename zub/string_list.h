// A growable array of byte strings kept in one block.
//
// A directory of a million entries held as std::vector<std::string> costs a
// string object and a heap block per name (about 64 bytes for a 20-byte
// name) and one allocation each time a name is copied. Here the characters
// of every element lie back to back in one buffer, each followed by a NUL,
// and the array proper is one 8-byte slot per element saying where its
// characters start and how many there are. Reordering the elements moves
// slots only; the characters stay where they were appended.
//
// Elements are read as std::string_view whose data() is NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace zub {

struct StringList {
  // Longest element: a slot keeps the length in 24 bits. Names from a
  // directory listing are at most a few hundred bytes.
  static constexpr size_t maxLength = (size_t{1} << 24) - 1;

  StringList() = default;
  StringList(std::initializer_list<std::string_view> items);
  explicit StringList(const std::vector<std::string>& items);
  StringList(const StringList& other) = default;
  StringList& operator=(const StringList& other) = default;
  // The list moved from is left empty, its block taken along.
  StringList(StringList&& other) noexcept;
  StringList& operator=(StringList&& other) noexcept;

  size_t size() const { return slots.size(); }
  // The bytes of all elements together, NULs not counted.
  size_t characters() const { return bytes.size() - slots.size(); }
  bool empty() const { return slots.empty(); }

  // Element `i` (i < size()); its data() is NUL-terminated. Valid until the
  // list changes.
  std::string_view operator[](size_t i) const {
    const uint64_t slot = slots[i];
    return std::string_view(bytes.data() + (slot >> 24), slot & maxLength);
  }

  // Hints that element `i` (i < size()) is read soon: its characters, or
  // only its slot, since the characters of elements in a new order lie
  // far apart. Changes nothing.
  void prefetch(size_t i) const { __builtin_prefetch(bytes.data() + (slots[i] >> 24)); }
  void prefetchSlot(size_t i) const { __builtin_prefetch(slots.data() + i); }

  // Appends `item`; an item longer than maxLength is cut to maxLength.
  void push_back(std::string_view item);
  // Appends one element made of `pieces` in turn, cut like push_back().
  void pushJoined(std::initializer_list<std::string_view> pieces);
  // Empties the list, keeping its memory for the next fill.
  void clear();
  // Empties the list and gives its memory back.
  void release();
  // Room for `count` elements of `characters` bytes in all, NULs excluded.
  void reserve(size_t count, size_t characters);

  // Puts the elements in the order `order` gives: element i becomes the
  // former element order[i]. `order` is a permutation of 0 .. size()-1.
  void permute(const std::vector<uint32_t>& order);

  struct const_iterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;
    const StringList* list;
    size_t index;
    std::string_view operator*() const { return (*list)[index]; }
    const_iterator& operator++() {
      ++index;
      return *this;
    }
    bool operator==(const const_iterator& other) const { return index == other.index; }
    bool operator!=(const const_iterator& other) const { return index != other.index; }
  };
  using iterator = const_iterator;
  using value_type = std::string_view;
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, slots.size()}; }

 private:
  std::string bytes;            // every element and its NUL, in append order
  std::vector<uint64_t> slots;  // start << 24 | length, in element order
};

}  // namespace zub
