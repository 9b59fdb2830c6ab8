#include "services/data_stream.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "services/joint_segmentation.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;
constexpr std::uint16_t kHighestGroupIndex = 5;

template <std::size_t N>
void Widen(const std::array<float, N>& source, std::array<double, N>& destination) {
  std::copy(source.begin(), source.end(), destination.begin());
}

bool HasLayout(JointGroup group, const StartIds& start_ids, const Dofs& dofs) {
  if (start_ids.count(group) != 0 && dofs.count(group) != 0) return true;
  spdlog::error("[velmor::qrk::Client] Missing start ID or DoF metadata for joint group [{}]", static_cast<int>(group));
  return false;
}

// Start IDs arrive signed; a negative one reads as a huge unsigned start and
// therefore never fits.
std::uint32_t StartOf(JointGroup group, const StartIds& start_ids) {
  return static_cast<std::uint32_t>(start_ids.at(group));
}

}  // namespace

DataStream::~DataStream() {
  basic_subscriber.reset();
  extra_subscriber.reset();
  // A copy or query still inside its critical section finishes before the
  // members go.
  std::scoped_lock wait_for_users(basic_mutex, extra_mutex);
}

qrk::StateCode DataStream::Start(std::shared_ptr<zenoh::Session> session, const std::string& serial) {
  const std::string basic_key = zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix);
  spdlog::debug("[velmor::qrk::Client] Creating subscriber on topic: {}", basic_key);
  basic_subscriber = std::make_shared<zenoh_mdw::Subscriber<BasicData>>(
      session, [this](BasicData& fresh) { OnBasicStreamData(fresh); }, basic_key);

  const std::string extra_key = zenoh_mdw::RobotKey(serial, zenoh_mdw::kExtraStreamSuffix);
  spdlog::debug("[velmor::qrk::Client] Creating subscriber on topic: {}", extra_key);
  extra_subscriber = std::make_shared<zenoh_mdw::Subscriber<ExtraData>>(
      session, [this](ExtraData& fresh) { OnExtraStreamData(fresh); }, extra_key);
  return qrk::MakeStateCode(qrk::GeneralState::OK);
}

void DataStream::OnBasicStreamData(BasicData& fresh) {
  {
    basic_mutex.LockForCopy();
    std::lock_guard<StreamMutex> lock(basic_mutex, std::adopt_lock);
    std::swap(basic_latest, fresh);  // the subscriber decodes the next sample into the old one's storage
  }
  if (!basic_arrived.load(std::memory_order_acquire)) AnnounceFirstBasicData();
}

void DataStream::AnnounceFirstBasicData() {
  {
    std::lock_guard<std::mutex> lock(arrival_mutex);
    basic_arrived.store(true, std::memory_order_release);
  }
  arrival.notify_all();
}

bool DataStream::AwaitBasicData(std::chrono::milliseconds within) {
  std::unique_lock<std::mutex> lock(arrival_mutex);
  return arrival.wait_for(lock, within, [this] { return basic_arrived.load(std::memory_order_acquire); });
}

void DataStream::OnExtraStreamData(ExtraData& fresh) {
  extra_mutex.LockForCopy();
  std::lock_guard<StreamMutex> lock(extra_mutex, std::adopt_lock);
  std::swap(extra_latest, fresh);
}

GroupNames DataStream::GetGroups(bool from_basic) {
  std::lock_guard<StreamMutex> lock(from_basic ? basic_mutex : extra_mutex);
  const auto& indices = from_basic ? basic_latest.group_indices : extra_latest.group_indices;
  GroupNames result;
  for (const std::uint16_t index : indices) {
    if (index > kHighestGroupIndex) {
      spdlog::error("[velmor::qrk::Client] The received {} data contains invalid joint group index [{}]",
                    from_basic ? "basic" : "extra", index);
      return {};
    }
    const JointGroup group = WireGroup(index);
    result.emplace(group, qrk::JointGroupNames().at(group));
  }
  return result;
}

std::map<JointGroup, qrk::RobotStates> DataStream::GetStates(const GroupNames& groups, const StartIds& start_ids,
                                                             const Dofs& dofs) {
  std::lock_guard<StreamMutex> lock(basic_mutex);
  const auto& cartesian = basic_latest.cartesian_data;
  const auto& indices = basic_latest.group_indices;
  if (cartesian.size() != indices.size()) {
    spdlog::error(
        "[velmor::qrk::Client] The received data has mismatched sizes: cartesian_data size is {}, expected number "
        "of joint groups is {}",
        cartesian.size(), indices.size());
    return {};
  }

  std::map<JointGroup, qrk::RobotStates> result;
  const auto& joints = basic_latest.joint_data;
  for (const auto& entry : groups) {
    const JointGroup group = entry.first;
    if (!HasLayout(group, start_ids, dofs)) return {};
    qrk::RobotStates& states = result[group];
    states.timestamp = {basic_latest.timestamp_first, static_cast<std::int32_t>(basic_latest.timestamp_second)};
    const std::uint32_t start = StartOf(group, start_ids);
    const std::uint64_t dof = dofs.at(group);
    const bool cut = SegmentJointData(joints.q, start, dof, states.q) &&
                     SegmentJointData(joints.theta, start, dof, states.theta) &&
                     SegmentJointData(joints.dq, start, dof, states.dq) &&
                     SegmentJointData(joints.dtheta, start, dof, states.dtheta) &&
                     SegmentJointData(joints.tau, start, dof, states.tau) &&
                     SegmentJointData(joints.tau_dot, start, dof, states.tau_dot) &&
                     SegmentJointData(joints.tau_ext, start, dof, states.tau_ext) &&
                     SegmentJointData(joints.tau_interact, start, dof, states.tau_interact) &&
                     SegmentJointData(joints.temperature, start, dof, states.temperature);
    if (!cut) {
      spdlog::error("[velmor::qrk::Client] Failed to segment full-DoF joint data for joint group [{}]",
                    static_cast<int>(group));
      return {};
    }
  }

  for (std::size_t i = 0; i < indices.size(); ++i) {
    const auto& source = cartesian.at(i);
    qrk::RobotStates& states = result[WireGroup(indices[i])];
    Widen(source.flange_pose, states.flange_pose);
    Widen(source.tcp_pose, states.tcp_pose);
    Widen(source.tcp_twist, states.tcp_twist);
    Widen(source.tcp_wrench_local, states.tcp_wrench_local);
    Widen(source.raw_tcp_wrench_local, states.raw_tcp_wrench_local);
    Widen(source.raw_ft_sensor, states.raw_ft_sensor);
    FillWorldWrenches(states);
  }
  return result;
}

std::map<JointGroup, qrk::RobotActions> DataStream::GetActions(const GroupNames& groups, const StartIds& start_ids,
                                                               const Dofs& dofs) {
  std::pair<std::int32_t, std::int32_t> timestamp;
  {
    std::lock_guard<StreamMutex> lock(basic_mutex);
    timestamp = {basic_latest.timestamp_first, static_cast<std::int32_t>(basic_latest.timestamp_second)};
  }

  std::lock_guard<StreamMutex> lock(extra_mutex);
  const auto& cartesian = extra_latest.cartesian_data;
  const auto& indices = extra_latest.group_indices;
  if (cartesian.size() != indices.size()) {
    spdlog::error(
        "[velmor::qrk::Client] The received desired data has mismatched sizes: cartesian_data size is {}, expected "
        "number of joint groups is {}",
        cartesian.size(), indices.size());
    return {};
  }

  std::map<JointGroup, qrk::RobotActions> result;
  const auto& joints = extra_latest.joint_data;
  for (const auto& entry : groups) {
    const JointGroup group = entry.first;
    if (!HasLayout(group, start_ids, dofs)) return {};
    qrk::RobotActions& actions = result[group];
    actions.timestamp = timestamp;
    const std::uint32_t start = StartOf(group, start_ids);
    const std::uint64_t dof = dofs.at(group);
    const bool cut = SegmentJointData(joints.q_d, start, dof, actions.q_d) &&
                     SegmentJointData(joints.dq_d, start, dof, actions.dq_d) &&
                     SegmentJointData(joints.tau_d, start, dof, actions.tau_d);
    if (!cut) {
      spdlog::error("[velmor::qrk::Client] Failed to segment desired joint data for joint group [{}]",
                    static_cast<int>(group));
      return {};
    }
  }

  for (std::size_t i = 0; i < indices.size(); ++i) {
    const auto& source = cartesian.at(i);
    qrk::RobotActions& actions = result[WireGroup(indices[i])];
    Widen(source.tcp_pose_d, actions.tcp_pose_d);
    Widen(source.tcp_twist_d, actions.tcp_twist_d);
    Widen(source.tcp_wrench_d, actions.tcp_wrench_d);
  }
  return result;
}

template <class Field>
Field DataStream::ReadBasic(Field zenoh_msgs::qrk_msg::StatusData::*field) {
  std::lock_guard<StreamMutex> lock(basic_mutex);
  return basic_latest.status.*field;
}

std::array<bool, 20> DataStream::GetDigitalInputs() {
  return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::digital_inputs);
}

std::array<bool, 20> DataStream::GetDigitalOutputs() {
  return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::digital_outputs);
}

bool DataStream::IsEstopReleased() { return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::estop_released); }

bool DataStream::IsEnablingDeviceOn() { return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::enabling_device_on); }

}  // namespace velmor::qrk_impl
