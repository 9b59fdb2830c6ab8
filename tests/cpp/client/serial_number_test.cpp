#include "client/serial_number.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velmor::qrk {
namespace {

TEST(NormalizeSerialNumberTest, PrefixTokensAreRejoinedWithHyphensAndTheSuffixIsKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"AB 12-345", "AB-12-345"},
      {"AB-12-345", "AB-12-345"},
      {"AB-3 45", "AB-3 45"},
      {"A B-C 1-x", "A-B-C-1-x"},
      {"a-1", "a-1"},
      {"AB-\xC3\xA9 .+%@!", "AB-\xC3\xA9 .+%@!"},  // the suffix is kept as it is
  };
  for (const auto& [input, normalised] : cases) EXPECT_EQ(NormalizeSerialNumber(input), normalised) << input;
}

TEST(NormalizeSerialNumberTest, MalformedSerialsAreRejected) {
  const std::string rejected[] = {
      "",
      "AB12",
      "-345",
      "AB-",
      "_",
      "-",  // empty, no hyphen, hyphen first or last
      "AB_1-345",
      "AB-34_5",  // underscore anywhere
      "AB--345",
      " AB-345",
      "AB  12-345",
      "AB 12 -345",  // empty prefix token
      "A.B-345",
      "AB\t12-345",
      std::string("A\0B-1", 5),  // not a letter, digit, space or hyphen
      "AB\xC3\xA9-345",
      "\xFF-1",
      "AB\x80 1-2",  // bytes above 0x7F are not letters
      "AB-$*",
      "AB-*",
      "AB-**",
      "AB-1/*",
      "AB-1?x",
      "AB-1#x",
      "AB-1\x7F",
      "AB-1\tx",
      std::string("AB-1\0", 5),  // a suffix that would make the key expression a pattern, or a control character
  };
  for (const std::string& input : rejected) {
    try {
      NormalizeSerialNumber(input);
      ADD_FAILURE() << "accepted " << input;
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "[velmor::qrk::Client] Format of the provided robot serial number is invalid");
    }
  }
}

}  // namespace
}  // namespace velmor::qrk
