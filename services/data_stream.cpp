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

// Empty, with an error line, if an index is above 5; throws
// std::out_of_range for an index that names no group (1).
GroupNames NameGroups(const std::vector<std::uint16_t>& indices, const char* stream) {
  GroupNames result;
  for (const std::uint16_t index : indices) {
    if (index > kHighestGroupIndex) {
      spdlog::error("[velmor::qrk::Client] The received {} data contains invalid joint group index [{}]", stream,
                    index);
      return {};
    }
    const JointGroup group = WireGroup(index);
    result.emplace(group, qrk::JointGroupNames().at(group));
  }
  return result;
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
  if (taps.basic) taps.basic(fresh);
  {
    basic_mutex.LockForCopy();
    std::lock_guard<StreamMutex> lock(basic_mutex, std::adopt_lock);
    std::swap(basic_latest, fresh);  // the subscriber decodes the next sample into the old one's storage
  }
  // Only this thread writes basic_latest, so it may read it without the lock.
  if (!basic_arrived.load(std::memory_order_acquire)) AnnounceFirstBasicData(basic_latest.group_indices);
}

void DataStream::AnnounceFirstBasicData(const std::vector<std::uint16_t>& group_indices) {
  GroupNames named;
  try {
    named = NameGroups(group_indices, "basic");
  } catch (const std::out_of_range&) {
    // Start-up would have failed on this sample; a running client cannot,
    // so the groups stay unknown, as for an index above 5.
    spdlog::error("[velmor::qrk::Client] The received basic data contains invalid joint group index [1]");
  }
  {
    std::lock_guard<std::mutex> lock(arrival_mutex);
    first_basic_groups = std::move(named);
    basic_arrived.store(true, std::memory_order_release);
  }
  arrival.notify_all();
}

const GroupNames* DataStream::FirstBasicGroups() const noexcept {
  return basic_arrived.load(std::memory_order_acquire) ? &first_basic_groups : nullptr;
}

bool DataStream::AwaitBasicData(std::chrono::milliseconds within) {
  std::unique_lock<std::mutex> lock(arrival_mutex);
  return arrival.wait_for(lock, within, [this] { return basic_arrived.load(std::memory_order_acquire); });
}

void DataStream::OnExtraStreamData(ExtraData& fresh) {
  if (taps.extra) taps.extra(fresh);
  extra_mutex.LockForCopy();
  std::lock_guard<StreamMutex> lock(extra_mutex, std::adopt_lock);
  std::swap(extra_latest, fresh);
}

GroupNames DataStream::GetGroups(bool from_basic) {
  std::lock_guard<StreamMutex> lock(from_basic ? basic_mutex : extra_mutex);
  return NameGroups(from_basic ? basic_latest.group_indices : extra_latest.group_indices,
                    from_basic ? "basic" : "extra");
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
