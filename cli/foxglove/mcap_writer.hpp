#pragma once
// McapWriter: one MCAP recording (velmor_foxglove.h's vf_mcap_writer). Calls
// come from one thread at a time (the recorder's writer thread); each one
// encodes a record and appends it, compressing a chunk when one is full.
#include <cstdint>
#include <map>
#include <string>

#include "cli/foxglove/messages.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

extern "C" {
struct vf_mcap_writer;
}

namespace velmor::cli::foxglove {

class McapWriter {
 public:
  /// Creates or truncates `path`. Throws WriteError "cannot write PATH: reason".
  McapWriter(const std::string& path, Compression compression);
  /// Finishes a recording that is neither finished nor failed; an error there
  /// is lost (call Finish to see it).
  ~McapWriter();
  McapWriter(McapWriter&& other) noexcept;
  McapWriter& operator=(McapWriter&& other) noexcept;
  McapWriter(const McapWriter&) = delete;
  McapWriter& operator=(const McapWriter&) = delete;

  /// Adds a topic; returns the channel to log on. Throws WriteError.
  std::uint32_t AddChannel(const std::string& topic, Schema schema);

  /// Logs a group's states on a kJointStates, kFrameTransforms or
  /// kRobotStates channel: `group` names its frames, `first_joint` (its
  /// first joint's index in the whole robot) its joints. Throws WriteError
  /// when the file cannot be written (every later call throws it again; the
  /// file keeps its complete chunks), std::invalid_argument when the channel
  /// does not carry states or the record's joint vectors differ in length.
  void LogStates(std::uint32_t channel, const MessageStamp& stamp, const std::string& group, std::uint32_t first_joint,
                 const qrk::RobotStates& states);
  /// On a kRobotActions channel; throws as LogStates.
  void LogActions(std::uint32_t channel, const MessageStamp& stamp, const qrk::RobotActions& actions);
  /// On a kRobotIo channel; throws as LogStates.
  void LogIo(std::uint32_t channel, const MessageStamp& stamp, const RobotIo& io);

  /// An MCAP metadata record. Throws WriteError.
  void WriteMetadata(const std::string& name, const std::map<std::string, std::string>& entries);

  /// Writes the last chunk, the summary and the footer. Throws WriteError.
  void Finish();

 private:
  vf_mcap_writer* handle_ = nullptr;
};

}  // namespace velmor::cli::foxglove
