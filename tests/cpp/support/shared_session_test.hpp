#pragma once
// A test suite on the process's shared zenoh session, each test on a serial
// number of its own so that no test hears another's robot.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "middleware/shared_session.hpp"

namespace velmor::test {

class SharedSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { session_ = zenoh_mdw::SharedSession(); }
  static void TearDownTestSuite() { session_.reset(); }

  /// "PREFIX-n", n counting the serials of every suite.
  static std::string NextSerial(const std::string& prefix) { return prefix + "-" + std::to_string(++count_); }

  static inline std::shared_ptr<zenoh::Session> session_;

 private:
  static inline int count_ = 0;
};

}  // namespace velmor::test
