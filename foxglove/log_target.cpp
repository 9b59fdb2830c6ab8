#include "foxglove/log_target.hpp"

#include <utility>
#include <vector>

#include "foxglove/c_shapes.hpp"
#include "foxglove/field_table.hpp"

namespace velmor::foxglove {

using detail::Check;
using detail::FieldTable;
using detail::ToC;

namespace {

// Our own records' channels: the schema is made from the record's field
// table (the values of a default record are not read), under its name.
template <class Record>
std::uint32_t AddRecordChannel(const vf_log_target* target, const std::string& topic, const char* name) {
  const auto table = FieldTable(Record{});
  std::uint32_t channel = 0;
  Check(vf_log_target_add_record_channel(target, topic.c_str(), name, table.data(), table.size(), &channel));
  return channel;
}

template <class Record>
void LogRecord(const vf_log_target* target, std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
               const Record& record) {
  const vf_stamp c_stamp = ToC(stamp);
  const auto table = FieldTable(record);
  const vf_record c_record{first_joint, table.data(), table.size()};
  Check(vf_log_target_log_record(target, channel, &c_stamp, &c_record));
}

}  // namespace

LogTarget::LogTarget(LogTarget&& other) noexcept : target_(std::exchange(other.target_, nullptr)) {}

LogTarget& LogTarget::operator=(LogTarget&& other) noexcept {
  target_ = std::exchange(other.target_, nullptr);
  return *this;
}

std::uint32_t LogTarget::AddChannel(const std::string& topic, Schema schema) {
  switch (schema) {
    case Schema::kRobotStates:
      return AddRecordChannel<qrk::RobotStates>(target_, topic, "RobotStates");
    case Schema::kRobotActions:
      return AddRecordChannel<qrk::RobotActions>(target_, topic, "RobotActions");
    case Schema::kRobotIo:
      return AddRecordChannel<qrk_impl::RobotIo>(target_, topic, "RobotIo");
    case Schema::kJointStates:
    case Schema::kFrameTransforms:
      break;
  }
  std::uint32_t channel = 0;
  Check(vf_log_target_add_channel(target_, topic.c_str(), static_cast<vf_schema>(schema), &channel));
  return channel;
}

void LogTarget::LogStates(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                          const qrk::RobotStates& states) {
  LogRecord(target_, channel, stamp, first_joint, states);
}

void LogTarget::LogFrames(std::uint32_t channel, const MessageStamp& stamp, const std::vector<GroupFrames>& groups) {
  const vf_stamp c_stamp = ToC(stamp);
  std::vector<vf_group_frames> c_groups;
  c_groups.reserve(groups.size());
  for (const GroupFrames& group : groups) c_groups.push_back(ToC(group));
  Check(vf_log_target_log_frames(target_, channel, &c_stamp, c_groups.data(), groups.size()));
}

void LogTarget::LogActions(std::uint32_t channel, const MessageStamp& stamp, std::uint32_t first_joint,
                           const qrk::RobotActions& actions) {
  LogRecord(target_, channel, stamp, first_joint, actions);
}

void LogTarget::LogIo(std::uint32_t channel, const MessageStamp& stamp, const qrk_impl::RobotIo& io) {
  LogRecord(target_, channel, stamp, 0, io);
}

}  // namespace velmor::foxglove
