#pragma once
// What a client learns about its robot once the robot's server has answered:
// the protocol version is checked, the joint groups come from the stream and
// each group's first joint and joint count from the layout query. The public
// Client and qrk's robot link both start up this way, on the caller's
// thread, and throw the same errors.
#include <string>

#include "services/data_stream.hpp"
#include "services/group_maps.hpp"
#include "services/qrk_client.hpp"

namespace velmor::qrk_impl {

/// The protocol version this client speaks; a server must report exactly it.
inline constexpr const char* kClientVersion = "v2.1";

/// Written once during start-up, read-only afterwards (no lock needed).
struct RobotLayout {
  GroupNames groups;
  StartIds start_ids;
  Dofs dofs;
  /// Start-up saw no basic sample: the first one that arrives later names the
  /// groups instead (DataStream::FirstBasicGroups).
  bool groups_from_first_sample = false;

  /// The groups the records are cut for.
  const GroupNames& Groups(const DataStream& stream) const noexcept;
};

/// After QRKClient::Connect: checks the server's version, lets the first
/// sample in, reads the groups and asks for the layout. Throws
/// std::runtime_error, std::logic_error or std::out_of_range as the client's
/// constructor does; logs the layout when `verbose`.
RobotLayout LearnRobot(QRKClient& client, const std::string& serial, bool verbose);

}  // namespace velmor::qrk_impl
