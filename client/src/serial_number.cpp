#include "client/serial_number.hpp"

#include <stdexcept>
#include <vector>

#include "services/text_numbers.hpp"

namespace velmor::qrk {
namespace {

[[noreturn]] void Reject() {
  throw std::invalid_argument("[velmor::qrk::Client] Format of the provided robot serial number is invalid");
}

// Letters and digits are ASCII only: the check never hands a byte above 0x7F
// to the C classification functions, whose behaviour would be undefined.
std::vector<std::string> PrefixTokens(const std::string& prefix) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char c : prefix) {
    if (qrk_impl::IsAsciiAlnum(c)) {
      current.push_back(c);
    } else if (c == ' ' || c == '-') {
      if (current.empty()) Reject();
      tokens.push_back(std::move(current));
      current.clear();
    } else {
      Reject();
    }
  }
  if (current.empty()) Reject();
  tokens.push_back(std::move(current));
  return tokens;
}

// The serial becomes one chunk of the robot's key expressions, so a suffix
// must name exactly one robot: zenoh's wildcards (*, $*), its chunk separator
// and the characters it reserves (?, #) would make it a pattern that matches
// several robots and mixes their data in one client. Control characters have
// no place in a name either.
bool IsKeyExpressionSafe(const std::string& suffix) {
  for (const char c : suffix) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
    if (c == '*' || c == '$' || c == '/' || c == '?' || c == '#') return false;
  }
  return true;
}

}  // namespace

std::string NormalizeSerialNumber(const std::string& serial) {
  if (serial.empty() || serial.find('_') != std::string::npos) Reject();
  const std::size_t last_hyphen = serial.rfind('-');
  if (last_hyphen == std::string::npos || last_hyphen == 0 || last_hyphen == serial.size() - 1) Reject();

  const std::string suffix = serial.substr(last_hyphen + 1);
  if (!IsKeyExpressionSafe(suffix)) Reject();

  std::string normalized;
  for (const std::string& token : PrefixTokens(serial.substr(0, last_hyphen))) {
    normalized += token;
    normalized += '-';
  }
  normalized += suffix;
  return normalized;
}

}  // namespace velmor::qrk
