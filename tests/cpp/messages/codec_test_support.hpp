#pragma once
// Helpers shared by the message format tests: exact value comparison (floats
// bit for bit, records field by field) and a check of the exception text and
// code that a decoding failure must carry.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "messages/record_fields.hpp"
#include "support/hex.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh_msgs::test {

using Bytes = std::vector<std::uint8_t>;

using velmor::test::FromHex;
using velmor::test::ToHex;

/// Exact equality: floats compare by bits (so -0.0 differs from 0.0), records
/// field by field through their declared field list.
template <class T>
bool SameValue(const T& a, const T& b) {
  if constexpr (std::is_same_v<T, float>) {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
  } else if constexpr (kIsRecord<T>) {
    return std::apply([&](auto... members) { return (SameValue(a.*members, b.*members) && ...); },
                      RecordFields<T>::kMembers);
  } else if constexpr (std::is_same_v<T, std::vector<bool>>) {
    return a == b;
  } else if constexpr (std::is_class_v<T> && !std::is_same_v<T, std::string>) {  // vector or array
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!SameValue(a[i], b[i])) return false;
    }
    return true;
  } else {
    return a == b;
  }
}

/// Passes when `f` throws zenoh::ZException for `operation` with `code`.
template <class F>
::testing::AssertionResult ThrowsZ(F&& f, const std::string& operation, zenoh::ZResult code) {
  try {
    f();
  } catch (const zenoh::ZException& e) {
    const std::string expected = operation + "(Error code: " + std::to_string(code) + " )";
    if (e.what() == expected && e.code() == code) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "threw \"" << e.what() << "\" (code " << int{e.code()} << "), expected \""
                                         << expected << "\"";
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "threw a non-zenoh exception: " << e.what();
  }
  return ::testing::AssertionFailure() << "did not throw";
}

}  // namespace velmor::zenoh_msgs::test
