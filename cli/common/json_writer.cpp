#include "cli/common/json_writer.hpp"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <utility>

namespace velmor::cli {
namespace {

// nlohmann writes a double as a short text that reads back as that double,
// so a float the robot sent, widened, would read 0.10000000149011612. A
// value that is exactly a float goes in as the double nearest to the float's
// own shortest text, which reads 0.1; whole numbers go in as integers, so
// that they carry no ".0".
nlohmann::ordered_json JsonNumber(double value) {
  if (static_cast<double>(static_cast<float>(value)) == value) {
    char text[32];
    const auto end = fmt::format_to_n(text, sizeof text, "{}", static_cast<float>(value)).out;
    std::from_chars(text, end, value);
  }
  constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
  if (value == std::trunc(value) && std::fabs(value) < kExactIntegers && !(value == 0.0 && std::signbit(value))) {
    return static_cast<std::int64_t>(value);
  }
  return value;
}

}  // namespace

void AppendNumber(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value > 0 ? "inf" : "-inf";
  } else if (static_cast<double>(static_cast<float>(value)) == value) {
    fmt::format_to(std::back_inserter(out), "{}", static_cast<float>(value));
  } else {
    fmt::format_to(std::back_inserter(out), "{}", value);
  }
}

nlohmann::ordered_json& JsonWriter::Add(nlohmann::ordered_json value) {
  if (open_.empty()) return document_ = std::move(value);
  nlohmann::ordered_json& container = *open_.back();
  if (container.is_array()) {
    container.push_back(std::move(value));
    return container.back();
  }
  return container[std::exchange(key_, {})] = std::move(value);
}

JsonWriter& JsonWriter::Put(nlohmann::ordered_json value) {
  Add(std::move(value));
  WriteTextWhenComplete();
  return *this;
}

void JsonWriter::WriteTextWhenComplete() {
  if (!open_.empty()) return;
  // The robot's text is not always UTF-8: each bad sequence becomes U+FFFD.
  text_ = document_.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

JsonWriter& JsonWriter::BeginObject() {
  open_.push_back(&Add(nlohmann::ordered_json::object()));
  return *this;
}

JsonWriter& JsonWriter::EndObject() { return Close(); }

JsonWriter& JsonWriter::BeginArray() {
  open_.push_back(&Add(nlohmann::ordered_json::array()));
  return *this;
}

JsonWriter& JsonWriter::EndArray() { return Close(); }

JsonWriter& JsonWriter::Close() {
  open_.pop_back();
  WriteTextWhenComplete();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  key_ = name;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) { return Put(std::string(text)); }

JsonWriter& JsonWriter::Number(double value) {
  if (!std::isfinite(value)) return String(std::isnan(value) ? "NaN" : (value > 0 ? "Infinity" : "-Infinity"));
  return Put(JsonNumber(value));
}

JsonWriter& JsonWriter::Integer(std::int64_t value) { return Put(value); }

JsonWriter& JsonWriter::Bool(bool value) { return Put(value); }

JsonWriter& JsonWriter::Null() { return Put(nullptr); }

}  // namespace velmor::cli
