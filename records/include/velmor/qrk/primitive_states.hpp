#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <variant>

namespace velmor::qrk {

/// The states of the primitive a joint group is running. Default: empty.
struct PrimitiveStates {
  std::string pt_name;
  /// The alternatives stay in the order int, double, string: a stored Python
  /// value becomes the first alternative that accepts it.
  std::map<std::string, std::variant<int32_t, double, std::string>> names_and_values;
};

}  // namespace velmor::qrk
