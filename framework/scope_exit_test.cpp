#include "framework/scope_exit.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ScopeExit, RestoresOnReturnAndWhenAnExceptionLeaves) {
  int depth = 0;
  auto enter = [&](bool fail) {
    ++depth;
    const TScopeExit undo([&] { --depth; });
    EXPECT_EQ(depth, 1);
    if (fail) throw std::runtime_error("failed");
  };
  enter(false);
  EXPECT_EQ(depth, 0);
  EXPECT_THROW(enter(true), std::runtime_error);
  EXPECT_EQ(depth, 0);
}
