#include "cli/recorder/ros2_topics.hpp"

#include <algorithm>

namespace velmor::cli {
namespace {

// ASCII only, whatever the locale.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsTokenCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_'; }

}  // namespace

std::string Ros2Token(qrk::JointGroup group) {
  const std::string name = GroupName(group);
  const bool valid = !name.empty() && !IsDigit(name.front()) &&
                     std::all_of(name.begin(), name.end(), IsTokenCharacter) && name.find("__") == std::string::npos;
  return valid ? name : "group_" + std::to_string(static_cast<int>(group));
}

}  // namespace velmor::cli
