#pragma once
// A --joint-names file: the robot's joints' names by their index in the
// whole robot, as a YAML mapping ({0: shoulder_pan_joint, 1: ...}) or a JSON
// object ({"0": "shoulder_pan_joint", ...}), which YAML reads as well; e.g. a
// robot model's names, so that the model's tools find the joints in what qrk
// writes. A joint the file leaves out keeps its name joint_<index>.
#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmor::cli {

/// Why a --joint-names file cannot be used: "FILE: reason".
struct JointNamesError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using JointNameMap = std::map<std::size_t, std::string>;

/// Reads the file at `path`. Throws JointNamesError for a file that cannot
/// be read, is not YAML (its line and column), is not a mapping, has a key
/// that is not a joint index (a whole number from 0), a name that is not a
/// non-empty text, or an index or a name twice.
JointNameMap ReadJointNames(const std::string& path);

/// The names of a robot with `joints` joints, one per joint, "" for a joint
/// the file leaves out. Throws JointNamesError naming the first index beyond
/// them: such a file is another robot's.
std::vector<std::string> NamesOfJoints(const JointNameMap& names, std::size_t joints, const std::string& path);

}  // namespace velmor::cli
