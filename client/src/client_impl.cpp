#include "client/src/client_impl.hpp"

#include <spdlog/spdlog.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "client/serial_number.hpp"

namespace velmor::qrk {
namespace {

constexpr const char* kClientVersion = "v2.1";
constexpr std::chrono::milliseconds kSettlingDelay{100};
constexpr std::chrono::milliseconds kFirstSampleWait{1000};
constexpr int kHighestGroupValue = 5;

// Every group value from 0 to 5 that has a name: 0, 2, 3, 4, 5.
std::vector<JointGroup> AllJointGroups() {
  std::vector<JointGroup> all;
  for (int value = 0; value <= kHighestGroupValue; ++value) {
    if (JointGroupNames().count(static_cast<JointGroup>(value)) != 0) all.push_back(static_cast<JointGroup>(value));
  }
  return all;
}

std::shared_ptr<qrk_impl::QRKClient> StartClient(const std::string& robot_sn, bool verbose, std::string& serial) {
  if (verbose) spdlog::info("| | | | | | | | | |  Velmor QRK {}  | | | | | | | | | |", kClientVersion);
  serial = NormalizeSerialNumber(robot_sn);
  return std::make_shared<qrk_impl::QRKClient>(verbose);
}

}  // namespace

Client::Impl::Impl(const std::string& robot_sn, bool verbose) : verbose(verbose) {
  std::string serial;
  qrk_client = StartClient(robot_sn, verbose, serial);
  qrk_client->Connect(serial);
  CheckServerVersion(serial);
  // The robot's server answered, but its streams may not have reached our
  // fresh subscribers yet: a short pause lets the first sample in before the
  // joint groups are read, and a robot at speed never needs the longer wait.
  std::this_thread::sleep_for(kSettlingDelay);
  ReadJointGroups();
  LearnLayout();
  if (this->verbose) LogLayout();
}

Client::Impl::~Impl() = default;

void Client::Impl::CheckServerVersion(const std::string& serial) {
  std::string version;
  if (!IsOk(qrk_client->Rpc().GetServerVersion(version))) {
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
void Client::Impl::ReadJointGroups() {
  const bool arrived = qrk_client->Stream().AwaitBasicData(kFirstSampleWait);
  if (!arrived) {
    spdlog::warn("[velmor::qrk::Client] No basic stream data received during start-up; joint groups unknown");
  }
  groups = qrk_client->Stream().GetGroups(true);
  groups_from_first_sample = !arrived && groups.empty();
}

const qrk_impl::GroupNames& Client::Impl::Groups() const noexcept {
  if (!groups_from_first_sample) return groups;
  const qrk_impl::GroupNames* first = qrk_client->Stream().FirstBasicGroups();
  return first != nullptr ? *first : groups;
}

void Client::Impl::LearnLayout() {
  const std::vector<JointGroup> all = AllJointGroups();
  if (all.size() != JointGroupNames().size() - 1) {
    throw std::logic_error("[velmor::qrk::Client] Number of all joint groups is wrong");
  }
  if (!IsOk(qrk_client->Rpc().GetJointGroupLayout(all, start_ids, dofs))) {
    throw std::runtime_error("[velmor::qrk::Client] Failed to obtain robot start ID and DoF information");
  }
}

void Client::Impl::LogLayout() const {
  for (const auto& [group, dof] : dofs) {
    spdlog::info("[velmor::qrk::Client] Joint group: {}, DoF: {}", JointGroupNames().at(group), dof);
  }
  spdlog::info("[velmor::qrk::Client] Initialization complete");
}

}  // namespace velmor::qrk
