#pragma once
// A small JSON text builder for qrk's output. Whatever a robot sends becomes
// valid JSON: a non-finite number is written as the string "NaN",
// "Infinity" or "-Infinity", and text that is not valid UTF-8 has each bad
// byte replaced by U+FFFD.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  /// The name of the next member of the current object.
  JsonWriter& Key(std::string_view name);
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(double value);
  JsonWriter& Integer(std::int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  template <class Range>
  JsonWriter& Numbers(const Range& values) {
    BeginArray();
    for (const auto value : values) Number(static_cast<double>(value));
    return EndArray();
  }
  template <class Range>
  JsonWriter& Bools(const Range& values) {
    BeginArray();
    for (const bool value : values) Bool(value);
    return EndArray();
  }

  const std::string& Text() const noexcept { return text_; }
  /// Empties the text for the next document, keeping its storage.
  void Clear();

 private:
  void BeforeValue();

  std::string text_;
  // One entry per open container: whether it has an element yet.
  std::vector<bool> has_element_;
  bool after_key_ = false;
};

/// Appends `text` as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view text);

/// Appends the shortest text that reads back as `value`; float precision when
/// that loses nothing (the robot sends 32-bit floats), non-finite values as
/// NaN, inf or -inf. For CSV cells.
void AppendNumber(std::string& out, double value);

}  // namespace velmor::cli
