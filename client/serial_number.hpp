#pragma once
#include <string>

namespace velmor::qrk {

/// The canonical form of a robot serial number: the part before the last
/// hyphen is split at spaces and hyphens into tokens of ASCII letters and
/// digits, rejoined with single hyphens; the part after it is kept as is,
/// provided it holds none of *, $, /, ?, # and no control character, so that
/// the serial names one robot and never a key-expression pattern.
/// Throws std::invalid_argument "[velmor::qrk::Client] Format of the provided
/// robot serial number is invalid".
std::string NormalizeSerialNumber(const std::string& serial);

}  // namespace velmor::qrk
