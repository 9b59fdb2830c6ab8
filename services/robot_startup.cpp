#include "services/robot_startup.hpp"

#include <spdlog/spdlog.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;

constexpr std::chrono::milliseconds kSettlingDelay{100};
constexpr std::chrono::milliseconds kFirstSampleWait{1000};
constexpr int kHighestGroupValue = 5;

// Every group value from 0 to 5 that has a name: 0, 2, 3, 4, 5.
std::vector<JointGroup> AllJointGroups() {
  std::vector<JointGroup> all;
  for (int value = 0; value <= kHighestGroupValue; ++value) {
    if (qrk::JointGroupNames().count(static_cast<JointGroup>(value)) != 0)
      all.push_back(static_cast<JointGroup>(value));
  }
  return all;
}

void CheckServerVersion(DataRpc& rpc, const std::string& serial) {
  std::string version;
  if (!qrk::IsOk(rpc.GetServerVersion(version))) {
    throw std::runtime_error("[velmor::qrk::Client] Failed to sync QRK server version");
  }
  if (version != kClientVersion) {
    throw std::logic_error("[velmor::qrk::Client] Version of this client is incompatible with robot [" + serial + "]");
  }
}

// The groups are read once, for the client's whole life, so they must come
// from a real sample: a robot streaming slowly, a busy network or a publisher
// that learns of our subscriber late may not have delivered one within the
// settling pause. A robot that streams nothing within the extra wait leaves
// the groups unknown for now, and the log says so; its first sample, however
// late, names them then.
void ReadJointGroups(DataStream& stream, RobotLayout& layout) {
  if (stream.AwaitBasicData(kFirstSampleWait)) {
    layout.groups = stream.GetGroups(true);
    return;
  }
  // The groups of an all-zero message, which is all there is: none. A sample
  // arriving from now on names them on the receiving thread instead, once.
  spdlog::warn("[velmor::qrk::Client] No basic stream data received during start-up; joint groups unknown");
  layout.groups_from_first_sample = true;
}

void LearnLayout(DataRpc& rpc, RobotLayout& layout) {
  const std::vector<JointGroup> all = AllJointGroups();
  if (all.size() != qrk::JointGroupNames().size() - 1) {
    throw std::logic_error("[velmor::qrk::Client] Number of all joint groups is wrong");
  }
  if (!qrk::IsOk(rpc.GetJointGroupLayout(all, layout.start_ids, layout.dofs))) {
    throw std::runtime_error("[velmor::qrk::Client] Failed to obtain robot start ID and DoF information");
  }
}

void LogLayout(const Dofs& dofs) {
  for (const auto& [group, dof] : dofs) {
    spdlog::info("[velmor::qrk::Client] Joint group: {}, DoF: {}", qrk::JointGroupNames().at(group), dof);
  }
  spdlog::info("[velmor::qrk::Client] Initialization complete");
}

}  // namespace

const GroupNames& RobotLayout::Groups(const DataStream& stream) const noexcept {
  if (!groups_from_first_sample) return groups;
  const GroupNames* first = stream.FirstBasicGroups();
  return first != nullptr ? *first : groups;
}

RobotLayout LearnRobot(QRKClient& client, const std::string& serial, bool verbose) {
  CheckServerVersion(client.Rpc(), serial);
  // The robot's server answered, but its streams may not have reached our
  // fresh subscribers yet: a short pause lets the first sample in before the
  // joint groups are read, and a robot at speed never needs the longer wait.
  std::this_thread::sleep_for(kSettlingDelay);
  RobotLayout layout;
  ReadJointGroups(client.Stream(), layout);
  LearnLayout(client.Rpc(), layout);
  if (verbose) LogLayout(layout.dofs);
  return layout;
}

}  // namespace velmor::qrk_impl
