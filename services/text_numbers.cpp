#include "services/text_numbers.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace velmor::qrk_impl {

int TextToInt(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (end == begin) throw std::invalid_argument("invalid stoi argument");
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) throw std::out_of_range("stoi argument out of range");
  return static_cast<int>(value);
}

double TextToDouble(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  if (end == begin) throw std::invalid_argument("invalid stod argument");
  if (errno == ERANGE) throw std::out_of_range("stod argument out of range");
  return value;
}

}  // namespace velmor::qrk_impl
