#include "gamefiles/line_list.h"

#include <gtest/gtest.h>

#include "gamefiles/errors.h"

namespace corvaldo {
namespace {

TEST(LineList, KeepsBytesAndOrder) {
  LineList list;
  list.Add("a");
  list.Add(std::string("\0\xE7", 2));
  list.Add("a");
  list.Put(0, "z");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), "z");
  EXPECT_EQ(list.Get(1), std::string("\0\xE7", 2));
  EXPECT_EQ(list.Get(2), "a");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(LineList, IndexOutsideRaisesAndLeavesListUnchanged) {
  LineList list;
  list.Add("x");
  list.Add("y");
  for (int index : {-2, -1, 2, 3, -2147483647 - 1}) {
    for (bool put : {false, true}) {
      try {
        if (put) {
          list.Put(index, "new");
        } else {
          list.Get(index);
        }
        ADD_FAILURE() << index;
      } catch (const EStringListError& error) {
        EXPECT_EQ(error.KindName(), "EStringListError");
        EXPECT_EQ(error.Message(), "List index out of bounds (" + std::to_string(index) + ")");
      }
      ASSERT_EQ(list.Count(), 2);
      EXPECT_EQ(list.Get(0), "x");
      EXPECT_EQ(list.Get(1), "y");
    }
  }
  LineList empty;
  EXPECT_THROW(empty.Get(0), EStringListError);
}

}  // namespace
}  // namespace corvaldo
