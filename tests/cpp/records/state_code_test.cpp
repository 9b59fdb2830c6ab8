#include "records/state_code.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velmor::qrk {
namespace {

TEST(StateCode, OkCodeNamesItsCategoryAndValue) {
  const StateCode code = MakeStateCode(100000);
  EXPECT_EQ(code.value, 100000);
  ASSERT_NE(code.category, nullptr);
  EXPECT_STREQ(code.category->name(), "General");
  EXPECT_STREQ(code.category->message(100000), "OK");
}

TEST(StateCode, EveryGradeHasItsMessageAndOtherValuesAreUnrecognized) {
  const VmrStateCategory& category = *MakeStateCode(GeneralState::OK).category;
  EXPECT_STREQ(category.message(200000), "Warning");
  EXPECT_STREQ(category.message(300000), "Fault");
  EXPECT_STREQ(category.message(400000), "Critical fault");
  for (int value : {0, -1, -100000, 150000, 100001, 500000}) {
    EXPECT_STREQ(category.message(value), "(unrecognized)") << value;
  }
}

TEST(StateCode, AllCodesShareOneCategory) {
  EXPECT_EQ(MakeStateCode(100000).category, MakeStateCode(300000).category);
  EXPECT_EQ(MakeStateCode(GeneralState::FAULT).category, MakeStateCode(-7).category);
}

TEST(StateCode, OnlyOkSucceedsButOnlyFaultAndWorseStopStartUp) {
  EXPECT_TRUE(IsOk(MakeStateCode(GeneralState::OK)));
  EXPECT_FALSE(IsOk(MakeStateCode(GeneralState::WARNING)));
  EXPECT_FALSE(IsOk(MakeStateCode(GeneralState::FAULT)));

  EXPECT_FALSE(IsFault(MakeStateCode(GeneralState::OK)));
  EXPECT_FALSE(IsFault(MakeStateCode(GeneralState::WARNING)));
  EXPECT_FALSE(IsFault(MakeStateCode(299999)));
  EXPECT_TRUE(IsFault(MakeStateCode(GeneralState::FAULT)));
  EXPECT_TRUE(IsFault(MakeStateCode(GeneralState::CRITICAL_FAULT)));
}

}  // namespace
}  // namespace velmor::qrk
