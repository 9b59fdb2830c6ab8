#pragma once
// The rows of a recording: one per sample and joint group, in CSV or JSON
// Lines. Every row starts with the sample's number in its stream (numbers
// count every sample received, so a gap shows a dropped one), the receive
// time (seconds since the Unix epoch, this machine's clock), the robot's time
// stamp pair and the group's name; then every field of the group's states or
// commanded values. In CSV a joint quantity has `joint_columns` columns
// (name_0, name_1, ...), the most joints of any group; a smaller group leaves
// the rest empty.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cli/recorder/record_format.hpp"
#include "cli/recorder/sample_sink.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::cli {

class RowWriter {
 public:
  RowWriter(RecordFormat format, std::size_t joint_columns) : format_(format), joint_columns_(joint_columns) {}

  /// The CSV header line of each stream; nothing for JSON Lines.
  std::string StatesHeader() const;
  std::string ActionsHeader() const;

  void AppendStates(std::string& out, const SampleStamp& stamp, std::string_view group,
                    const qrk::RobotStates& states) const;
  void AppendActions(std::string& out, const SampleStamp& stamp, std::string_view group,
                     const qrk::RobotActions& actions) const;

 private:
  RecordFormat format_;
  std::size_t joint_columns_;
};

}  // namespace velmor::cli
