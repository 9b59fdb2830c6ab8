// Whatever a robot sends, qrk's JSON output must parse: numbers JSON has no
// words for, and text that is not UTF-8, are spelled so that it does.
#include "cli/common/json_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace velmor::cli {
namespace {

std::string Quoted(const std::string& text) { return JsonWriter().String(text).Text(); }

const std::string kReplacement = "\xef\xbf\xbd";  // U+FFFD

TEST(JsonWriterTest, TextThatIsNotUtf8OrHasControlCharactersStaysValidJson) {
  EXPECT_EQ(Quoted("plain \"quoted\" \\ text"), R"("plain \"quoted\" \\ text")");
  EXPECT_EQ(Quoted("tab\tnul" + std::string(1, '\0') + "x\x1f"), R"("tab\tnul\u0000x\u001f")");
  EXPECT_EQ(Quoted("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"");
  // A lone continuation byte, a truncated sequence (one U+FFFD for the
  // sequence, as Unicode recommends), an overlong form, a surrogate and a
  // code point past U+10FFFF.
  EXPECT_EQ(Quoted("a\x80z"), "\"a" + kReplacement + "z\"");
  EXPECT_EQ(Quoted("\xe2\x82z"), "\"" + kReplacement + "z\"");
  EXPECT_EQ(Quoted("\xc0\xaf"), "\"" + kReplacement + kReplacement + "\"");
  EXPECT_EQ(Quoted("\xed\xa0\x80"), "\"" + kReplacement + kReplacement + kReplacement + "\"");
  EXPECT_EQ(Quoted("\xf4\x90\x80\x80"), "\"" + kReplacement + kReplacement + kReplacement + kReplacement + "\"");
}

TEST(JsonWriterTest, NumbersReadBackExactlyAndNonFiniteOnesBecomeStrings) {
  JsonWriter json;
  json.BeginObject().Key("values").BeginArray();
  json.Number(0.1f).Number(0.1).Number(-2.5).Number(1e-7f).Integer(-42);
  json.Number(std::nan("")).Number(std::numeric_limits<double>::infinity());
  json.Number(-std::numeric_limits<double>::infinity());
  json.EndArray().Key("ok").Bool(true).Key("none").Null().EndObject();
  EXPECT_EQ(json.Text(), R"({"values":[0.1,0.1,-2.5,1e-07,-42,"NaN","Infinity","-Infinity"],"ok":true,"none":null})");

  std::string cells;
  AppendNumber(cells, static_cast<double>(0.1f));  // a float widened to double prints as the float
  cells += ',';
  AppendNumber(cells, 0.1);
  cells += ',';
  AppendNumber(cells, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(cells, "0.1,0.1,-inf");
}

}  // namespace
}  // namespace velmor::cli
