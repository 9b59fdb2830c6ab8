#pragma once
// String-to-number conversions with the robot protocol's own error texts.
// They follow the standard stoi/stod rules (leading whitespace skipped, the
// longest valid prefix converted, the rest ignored) but always raise
// std::invalid_argument "invalid stoi argument" / "invalid stod argument" and
// std::out_of_range "stoi argument out of range" / "stod argument out of
// range", whatever the standard library's own wording is. Unlike them they
// ignore the process's locale: a decimal point is always ".".
#include <string>

namespace velmor::qrk_impl {

int TextToInt(const std::string& text);
double TextToDouble(const std::string& text);

/// ASCII classification that is defined for every byte, including those above
/// 0x7F that std::isspace/std::isdigit must not be given as plain char.
constexpr bool IsAsciiSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool IsAsciiDigit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiAlnum(char c) noexcept {
  return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace velmor::qrk_impl
