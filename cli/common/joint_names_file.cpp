#include "cli/common/joint_names_file.hpp"

#include <fmt/format.h>
#include <yaml-cpp/yaml.h>

#include <charconv>
#include <set>

namespace velmor::cli {
namespace {

YAML::Node Load(const std::string& path) {
  try {
    return YAML::LoadFile(path);
  } catch (const YAML::BadFile&) {
    throw JointNamesError(fmt::format("{}: cannot read it", path));
  } catch (const YAML::ParserException& error) {
    throw JointNamesError(
        fmt::format("{}: line {}, column {}: {}", path, error.mark.line + 1, error.mark.column + 1, error.msg));
  }
}

// A whole number from 0, written as one: no sign, no fraction, no spaces.
std::size_t JointIndex(const YAML::Node& key, const std::string& path) {
  const std::string text = key.IsScalar() ? key.Scalar() : std::string();
  std::size_t index = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    throw JointNamesError(
        fmt::format("{}: line {}: '{}' is not a joint index (a whole number from 0)", path, key.Mark().line + 1, text));
  }
  return index;
}

}  // namespace

JointNameMap ReadJointNames(const std::string& path) {
  const YAML::Node root = Load(path);
  if (!root.IsMap()) {
    throw JointNamesError(
        fmt::format("{}: expected a mapping from joint index to name, such as {{0: base_joint}}", path));
  }
  JointNameMap names;
  std::set<std::string> taken;
  for (const auto& entry : root) {
    const std::size_t index = JointIndex(entry.first, path);
    const int line = entry.first.Mark().line + 1;
    if (!entry.second.IsScalar() || entry.second.Scalar().empty()) {
      throw JointNamesError(fmt::format("{}: line {}: joint {} has no name", path, line, index));
    }
    const std::string& name = entry.second.Scalar();
    if (!names.emplace(index, name).second) {
      throw JointNamesError(fmt::format("{}: line {}: joint {} is named twice", path, line, index));
    }
    if (!taken.insert(name).second) {
      throw JointNamesError(fmt::format("{}: line {}: '{}' names two joints", path, line, name));
    }
  }
  return names;
}

std::vector<std::string> NamesOfJoints(const JointNameMap& names, std::size_t joints, const std::string& path) {
  std::vector<std::string> result(joints);
  for (const auto& [index, name] : names) {
    if (index >= joints) {
      throw JointNamesError(fmt::format("{}: joint {} ('{}') is beyond the robot's {} joints (0 to {})", path, index,
                                        name, joints, joints == 0 ? 0 : joints - 1));
    }
    result[index] = name;
  }
  return result;
}

}  // namespace velmor::cli
