#pragma once
// Naming of a robot's endpoints: "velmor/robot/" + serial + suffix, with the
// normalised serial inserted unescaped.
#include <string>
#include <string_view>

namespace velmor::zenoh_mdw {

inline constexpr std::string_view kKeyPrefix = "velmor/robot/";
inline constexpr std::string_view kBasicStreamSuffix = "/basic_stream_data";
inline constexpr std::string_view kExtraStreamSuffix = "/extra_stream_data";
inline constexpr std::string_view kRpcSuffix = "/rpc";

/// The full key text of one of a robot's endpoints.
inline std::string RobotKey(std::string_view serial, std::string_view suffix) {
  std::string key;
  key.reserve(kKeyPrefix.size() + serial.size() + suffix.size());
  key.append(kKeyPrefix).append(serial).append(suffix);
  return key;
}

}  // namespace velmor::zenoh_mdw
