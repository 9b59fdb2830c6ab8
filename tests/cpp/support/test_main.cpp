#include <gtest/gtest.h>

#include <cstdio>

#include "support/netns_guard.hpp"

int main(int argc, char** argv) {
  const std::string problem = velmor::test::IsolationProblem();
  if (!problem.empty()) {
    std::fprintf(stderr,
                 "REFUSING TO RUN: %s.\nTests open zenoh sessions that scout by multicast; run them "
                 "with scripts/netns-run.\n",
                 problem.c_str());
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
