#include <gtest/gtest.h>

#include "support/netns_guard.hpp"

int main(int argc, char** argv) {
  if (velmor::test::RefuseOutsideIsolation("Tests")) return 2;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
