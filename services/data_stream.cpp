#include "services/data_stream.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;
constexpr std::uint16_t kHighestGroupIndex = 5;

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
  return SliceStates(basic_latest, groups, start_ids, dofs);
}

std::map<JointGroup, qrk::RobotActions> DataStream::GetActions(const GroupNames& groups, const StartIds& start_ids,
                                                               const Dofs& dofs) {
  std::pair<std::int32_t, std::int32_t> timestamp;
  {
    std::lock_guard<StreamMutex> lock(basic_mutex);
    timestamp = StampOf(basic_latest);
  }
  std::lock_guard<StreamMutex> lock(extra_mutex);
  return SliceActions(extra_latest, timestamp, groups, start_ids, dofs);
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
