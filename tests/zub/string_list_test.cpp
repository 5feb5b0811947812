#include "zub/string_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/support.h"

namespace {

// Every element reads back whole, NUL-terminated, after appends that move
// the block, a reorder and a clear that keeps the memory.
TEST(StringList, KeepsEveryElementThroughGrowthAndReorder) {
  const std::vector<std::string> items = {"", "a", std::string("nul\0inside", 10), "caf\xC3\xA9",
                                          std::string(300, 'x'), "line\nfeed", "\xFF"};
  zub::StringList list;
  for (int round = 0; round < 2; ++round) {
    for (int copy = 0; copy < 200; ++copy)
      for (const std::string& item : items) list.push_back(item);
    ASSERT_EQ(list.size(), 200 * items.size());
    for (size_t i = 0; i < list.size(); ++i) {
      SCOPED_TRACE(i);
      const std::string& item = items[i % items.size()];
      EXPECT_EQ(list[i], item);
      EXPECT_EQ(list[i].data()[list[i].size()], '\0');
    }
    std::vector<uint32_t> order(items.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(order.size() - 1 - i);
    zub::StringList few(items);
    few.permute(order);
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(few[i], items[items.size() - 1 - i]);
    list.clear();
    EXPECT_TRUE(list.empty());
  }
}

// Megabytes of elements, one of them 1.5 MiB long, read back whole after
// the storage has grown many times.
TEST(StringList, ElementsStayWholeThroughMegabytesOfGrowth) {
  zub::StringList list;
  std::vector<std::string> items;
  for (int i = 0; i < 5000; ++i) {
    items.push_back(std::string(i == 2500 ? 3 << 19 : 700 + i % 13, static_cast<char>('a' + i % 26)));
    list.push_back(items.back());
  }
  for (size_t i = 0; i < items.size(); ++i) {
    ASSERT_EQ(list[i], items[i]) << i;
    ASSERT_EQ(list[i].data()[items[i].size()], '\0') << i;
  }
  list.clear();
  list.push_back("again");
  EXPECT_EQ(list, std::vector<std::string>{"again"});
}

// openDirectory moves the old listing out to reuse its block: what is
// left behind must be an empty list, not stale names.
TEST(StringList, MoveLeavesTheSourceEmpty) {
  zub::StringList list = {"a", "b"};
  list.permute({1, 0});
  zub::StringList moved = std::move(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.characters(), 0u);
  EXPECT_EQ(moved, std::vector<std::string>({"b", "a"}));
  list = std::move(moved);
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(list, std::vector<std::string>({"b", "a"}));
}

}  // namespace
