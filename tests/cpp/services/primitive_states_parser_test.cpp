#include "services/primitive_states_parser.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "services/text_numbers.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;
using Entries = std::vector<std::string>;

// What a call throws, as "<kind>: <text>", or "no error".
std::string Outcome(const std::function<void()>& call) {
  try {
    call();
    return "no error";
  } catch (const std::bad_variant_access&) {
    return "bad_variant_access";
  } catch (const std::invalid_argument& error) {
    return std::string("invalid_argument: ") + error.what();
  } catch (const std::out_of_range& error) {
    return std::string("out_of_range: ") + error.what();
  } catch (const std::runtime_error& error) {
    return std::string("runtime_error: ") + error.what();
  }
}

std::string Failure(const std::string& what) {
  return "runtime_error: [velmor::qrk::Client::primitive_states] " + what;
}

// A server that answers fetch n with replies[n] (the last one from then on).
struct ScriptedFetch {
  std::vector<Entries> replies;
  int fault_on = -1;
  int calls = 0;

  PrimitiveStatesFetch Fetch() {
    return [this](Entries& entries) {
      const int call = calls++;
      if (call == fault_on) return qrk::MakeStateCode(qrk::GeneralState::FAULT);
      entries = replies[std::min<std::size_t>(static_cast<std::size_t>(call), replies.size() - 1)];
      return qrk::MakeStateCode(qrk::GeneralState::OK);
    };
  }
};

const GroupNames kGroups{{JointGroup::ALL, "ALL"}, {JointGroup::ARM_1, "ARM_1"}};

std::map<JointGroup, qrk::PrimitiveStates> Parse(const Entries& entries, const GroupNames& groups = kGroups) {
  ScriptedFetch fetch{{entries}};
  return FetchPrimitiveStates(groups, fetch.Fetch());
}

TEST(ParsePrimitiveValueTest, ValueTextClassifiesByItsFirstToken) {
  const std::pair<std::string, PrimitiveValue> cases[] = {
      {" 007", 7},
      {" -12", -12},
      {"\t42\n", 42},
      {" 2147483647", 2147483647},
      {" -2147483648", std::int32_t{-2147483647 - 1}},
      {" +12", 12.0},
      {" 1.5", 1.5},
      {" -0.25", -0.25},
      {" 1e3", 1000.0},
      {" .5", 0.5},
      {" 12abc", std::string("12abc")},
      {" 1.5x", std::string("1.5x")},
      {" -", std::string("-")},
      {" inf", std::string("inf")},
      {" 1e999", std::string("1e999")},
      {"", std::string()},
      {"   ", std::string()},
      {" two words", std::string("two")},
      {" Move L", std::string("Move")},
      {" a=b", std::string("a=b")},
      // Bytes above 0x7F are neither blanks nor digits.
      {" \xC3\xA9t\xC3\xA9", std::string("\xC3\xA9t\xC3\xA9")},
      {"\xA0"
       "12",
       std::string("\xA0"
                   "12")},
      {" 12\xFF", std::string("12\xFF")},
      {" -\x80", std::string("-\x80")},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParsePrimitiveValue(text), expected) << '"' << text << '"';

  EXPECT_EQ(Outcome([] { ParsePrimitiveValue(" 2147483648"); }), "out_of_range: stoi argument out of range");
  EXPECT_EQ(Outcome([] { ParsePrimitiveValue(" -99999999999999999999"); }), "out_of_range: stoi argument out of range");
  EXPECT_EQ(Outcome([] { ParsePrimitiveValue(" 1e-320"); }), "out_of_range: stod argument out of range");
}

TEST(TextNumbersTest, ConversionsReadTheLongestPrefixAndFailWithFixedTexts) {
  EXPECT_EQ(TextToInt(" 42abc"), 42);
  EXPECT_EQ(TextToInt("-7 8"), -7);
  EXPECT_EQ(TextToDouble(" 2.5e1x"), 25.0);
  const std::pair<std::function<void()>, std::string> failures[] = {
      {[] { TextToInt(""); }, "invalid_argument: invalid stoi argument"},
      {[] {
         TextToInt(
             "\xFF"
             "1");
       },
       "invalid_argument: invalid stoi argument"},
      {[] { TextToInt("2147483648"); }, "out_of_range: stoi argument out of range"},
      {[] { TextToInt("-2147483649"); }, "out_of_range: stoi argument out of range"},
      {[] { TextToDouble("abc"); }, "invalid_argument: invalid stod argument"},
      {[] { TextToDouble("-1e999"); }, "out_of_range: stod argument out of range"},
  };
  for (const auto& [call, expected] : failures) EXPECT_EQ(Outcome(call), expected);
}

TEST(FetchPrimitiveStatesTest, EntriesAreGroupedByMarkerAndParsed) {
  const auto result =
      Parse({"jointGroup = 3", "primitiveName = MoveL", "reachedTarget = 0", "speed = 0.25", "mode = fast",
             "mode = slow", "primitiveName = Other", "jointGroup = 0", "primitiveName = Hold", "a=1"});
  ASSERT_EQ(result.size(), 2u);
  const auto& arm = result.at(JointGroup::ARM_1);
  EXPECT_EQ(arm.pt_name, "MoveL") << "the first entry of a name wins";
  const std::map<std::string, PrimitiveValue> expected{
      {"mode", std::string("fast")}, {"reachedTarget", 0}, {"speed", 0.25}};
  EXPECT_EQ(arm.names_and_values, expected);
  EXPECT_EQ(result.at(JointGroup::ALL).pt_name, "Hold");
  EXPECT_EQ(result.at(JointGroup::ALL).names_and_values, (std::map<std::string, PrimitiveValue>{{"", 1}}))
      << "a name without its blank loses its last character";
}

TEST(FetchPrimitiveStatesTest, MalformedListsRaiseTheirOwnErrors) {
  const std::pair<Entries, std::string> cases[] = {
      {{"primitiveName = X", "jointGroup = 3"}, Failure("Malformed primitive states: missing jointGroup marker")},
      {{"jointGroup = 4", "primitiveName = X"}, Failure("Received primitive states for unknown joint group")},
      {{"jointGroup = 3", "primitiveName = X", "jointGroup = 3", "primitiveName = Y"},
       Failure("Duplicate primitive states for a joint group")},
      {{"jointGroup"}, Failure("Malformed primitive state entry")},
      {{"jointGroup: 3"}, Failure("Malformed primitive state entry")},
      {{"jointGroup = 3", "primitiveName = X", "speed"}, Failure("Malformed primitive state entry")},
      {{"jointGroup = 3", "primitiveName = X", "= 5"}, Failure("Malformed primitive state entry")},
      {{"jointGroup = 3", "mode = x"}, Failure("Malformed primitive states: jointGroup or primitiveName missing")},
      {{"jointGroup=3", "primitiveName=X"}, Failure("Malformed primitive states: jointGroup or primitiveName missing")},
      {{"jointGroup = x"}, "invalid_argument: invalid stoi argument"},
      {{"jointGroup = 99999999999"}, "out_of_range: stoi argument out of range"},
      {{"jointGroup = 3", "primitiveName = 12"}, "bad_variant_access"},
      {{"jointGroup = 3.5", "primitiveName = X"}, "bad_variant_access"},
      {{"jointGroup = 3", "primitiveName = X", "level = 2147483648"}, "out_of_range: stoi argument out of range"},
  };
  for (const auto& [entries, expected] : cases) {
    EXPECT_EQ(Outcome([&entries = entries] { Parse(entries); }), expected) << entries.front();
  }
  EXPECT_EQ(Outcome([] {
              Parse({"jointGroup = 0", "primitiveName = X"}, {});
            }),
            Failure("Received primitive states for unknown joint group"))
      << "no groups known at start-up";
  EXPECT_EQ(Outcome([] { Parse({"jointGroup = 3", "primitiveName = \xFF\xFE", "\x80 = \x81"}); }), "no error");
}

TEST(FetchPrimitiveStatesTest, FetchesAgainWhileAnEntryArrivesEmptyAtMostSixTimes) {
  const Entries good{"jointGroup = 3", "primitiveName = X"};
  const Entries corrupted{"jointGroup = 3", ""};

  ScriptedFetch empty_list{{{}}};
  EXPECT_TRUE(FetchPrimitiveStates(kGroups, empty_list.Fetch()).empty());
  EXPECT_EQ(empty_list.calls, 1);

  ScriptedFetch third{{corrupted, {""}, good}};
  EXPECT_EQ(FetchPrimitiveStates(kGroups, third.Fetch()).at(JointGroup::ARM_1).pt_name, "X");
  EXPECT_EQ(third.calls, 3);

  ScriptedFetch never{{corrupted}};
  EXPECT_EQ(Outcome([&] { FetchPrimitiveStates(kGroups, never.Fetch()); }),
            Failure("Still received corrupted data after several attempts"));
  EXPECT_EQ(never.calls, 6);

  ScriptedFetch sixth{{corrupted, corrupted, corrupted, corrupted, corrupted, good}};
  EXPECT_EQ(FetchPrimitiveStates(kGroups, sixth.Fetch()).size(), 1u);
  EXPECT_EQ(sixth.calls, 6);

  ScriptedFetch silent{{corrupted}, 1};
  EXPECT_EQ(Outcome([&] { FetchPrimitiveStates(kGroups, silent.Fetch()); }), Failure("No reply from the robot"));
  EXPECT_EQ(silent.calls, 2);
}

}  // namespace
}  // namespace velmor::qrk_impl
