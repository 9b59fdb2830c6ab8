#include "services/text_numbers.hpp"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>
#include <new>
#include <stdexcept>

namespace velmor::qrk_impl {
namespace {

// The robot writes its numbers with a decimal point, whatever locale the host
// program chose: a Python caller that sets a comma-decimal LC_NUMERIC must
// still read "0.5" as one half, not as 0. So the conversions run in a C locale
// of their own instead of the process's.
locale_t ClassicLocale() {
  static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (classic == static_cast<locale_t>(nullptr)) throw std::bad_alloc();
  return classic;
}

}  // namespace

int TextToInt(const std::string& text) {
  const locale_t classic = ClassicLocale();
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = strtol_l(begin, &end, 10, classic);
  if (end == begin) throw std::invalid_argument("invalid stoi argument");
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) throw std::out_of_range("stoi argument out of range");
  return static_cast<int>(value);
}

double TextToDouble(const std::string& text) {
  const locale_t classic = ClassicLocale();
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = strtod_l(begin, &end, classic);
  if (end == begin) throw std::invalid_argument("invalid stod argument");
  if (errno == ERANGE) throw std::out_of_range("stod argument out of range");
  return value;
}

}  // namespace velmor::qrk_impl
