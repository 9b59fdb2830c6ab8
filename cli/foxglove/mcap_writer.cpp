#include "cli/foxglove/mcap_writer.hpp"

#include <utility>
#include <vector>

#include "cli/foxglove/c_shapes.hpp"

namespace velmor::cli::foxglove {

using detail::Check;
using detail::ToC;

McapWriter::McapWriter(const std::string& path, Compression compression) {
  Check(vf_mcap_writer_create(path.c_str(), static_cast<vf_compression>(compression), &handle_));
}

McapWriter::~McapWriter() { vf_mcap_writer_drop(handle_); }

McapWriter::McapWriter(McapWriter&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

McapWriter& McapWriter::operator=(McapWriter&& other) noexcept {
  if (this != &other) {
    vf_mcap_writer_drop(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

std::uint32_t McapWriter::AddChannel(const std::string& topic, Schema schema) {
  std::uint32_t channel = 0;
  Check(vf_mcap_writer_add_channel(handle_, topic.c_str(), static_cast<vf_schema>(schema), &channel));
  return channel;
}

void McapWriter::LogStates(std::uint32_t channel, const MessageStamp& stamp, const std::string& group,
                           std::uint32_t first_joint, const qrk::RobotStates& states) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_states c_states = ToC(states, group, first_joint);
  Check(vf_mcap_writer_log_states(handle_, channel, &c_stamp, &c_states));
}

void McapWriter::LogActions(std::uint32_t channel, const MessageStamp& stamp, const qrk::RobotActions& actions) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_group_actions c_actions = ToC(actions);
  Check(vf_mcap_writer_log_actions(handle_, channel, &c_stamp, &c_actions));
}

void McapWriter::LogIo(std::uint32_t channel, const MessageStamp& stamp, const RobotIo& io) {
  const vf_stamp c_stamp = ToC(stamp);
  const vf_io c_io = ToC(io);
  Check(vf_mcap_writer_log_io(handle_, channel, &c_stamp, &c_io));
}

void McapWriter::WriteMetadata(const std::string& name, const std::map<std::string, std::string>& entries) {
  std::vector<const char*> keys;
  std::vector<const char*> values;
  for (const auto& [key, value] : entries) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  Check(vf_mcap_writer_write_metadata(handle_, name.c_str(), keys.data(), values.data(), entries.size()));
}

void McapWriter::Finish() { Check(vf_mcap_writer_finish(handle_)); }

}  // namespace velmor::cli::foxglove
