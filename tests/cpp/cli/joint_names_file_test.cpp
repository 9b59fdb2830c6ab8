// A --joint-names file read as users write them (YAML from a robot model,
// JSON with string keys), and every way one can be wrong said with the file
// and the place.
#include "cli/common/joint_names_file.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/temporary_directory.hpp"

namespace velmor::cli {
namespace {

std::string Written(const test::TemporaryDirectory& directory, const std::string& text) {
  const std::string path = directory.File("names.yaml");
  std::ofstream(path) << text;
  return path;
}

TEST(JointNamesFile, YamlAndJsonGiveTheSameNamesAndTheRestKeepTheirDefault) {
  const test::TemporaryDirectory directory;
  const JointNameMap expected{{0, "shoulder_pan_joint"}, {2, "elbow_joint"}};
  EXPECT_EQ(ReadJointNames(Written(directory, "# a robot model's joints\n0: shoulder_pan_joint\n2: elbow_joint\n")),
            expected);
  EXPECT_EQ(ReadJointNames(Written(directory, R"({"0": "shoulder_pan_joint", "2": "elbow_joint"})")), expected);
  const std::string path = directory.File("names.yaml");
  EXPECT_EQ(NamesOfJoints(expected, 4, path), (std::vector<std::string>{"shoulder_pan_joint", "", "elbow_joint", ""}));
}

TEST(JointNamesFile, EveryWrongFileIsRefusedSayingWhereAndWhy) {
  const test::TemporaryDirectory directory;
  const std::vector<std::pair<std::string, std::string>> wrong{
      {"{0: a, 1: b", "line 1, column"},  // unclosed: the parser's place
      {"- a\n- b\n", "expected a mapping from joint index to name"},
      {"", "expected a mapping"},
      {"0: a\nx: b\n", "line 2: 'x' is not a joint index"},
      {"-1: a\n", "'-1' is not a joint index"},
      {"1.5: a\n", "'1.5' is not a joint index"},
      {"0: a\n1:\n", "line 2: joint 1 has no name"},
      {"0: [a, b]\n", "joint 0 has no name"},
      {"0: a\n0: b\n", "line 2: joint 0 is named twice"},
      {"0: a\n1: a\n", "line 2: 'a' names two joints"},
  };
  for (const auto& [text, reason] : wrong) {
    const std::string path = Written(directory, text);
    try {
      ReadJointNames(path);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const JointNamesError& error) {
      EXPECT_NE(std::string(error.what()).find(path + ": "), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << text << " -> " << error.what();
    }
  }
  EXPECT_THROW(ReadJointNames(directory.File("missing.yaml")), JointNamesError);
  // Another robot's file: a joint this robot does not have.
  try {
    NamesOfJoints({{0, "a"}, {7, "b"}}, 7, "arm.yaml");
    ADD_FAILURE() << "accepted joint 7 of 7";
  } catch (const JointNamesError& error) {
    EXPECT_STREQ(error.what(), "arm.yaml: joint 7 ('b') is beyond the robot's 7 joints (0 to 6)");
  }
}

}  // namespace
}  // namespace velmor::cli
