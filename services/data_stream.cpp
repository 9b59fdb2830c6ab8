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
GroupNames NameGroups(const zenoh_msgs::WireSequence<std::uint16_t>& indices, const char* stream) {
  GroupNames result;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const std::uint16_t index = indices[i];
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

// The groups a first basic sample names, for a start-up that saw none.
GroupNames NamedFirstGroups(const zenoh_msgs::WireSequence<std::uint16_t>& indices) {
  try {
    return NameGroups(indices, "basic");
  } catch (const std::out_of_range&) {
    // Start-up would have failed on this sample; a running client cannot,
    // so the groups stay unknown, as for an index above 5.
    spdlog::error("[velmor::qrk::Client] The received basic data contains invalid joint group index [1]");
    return {};
  }
}

}  // namespace

DataStream::~DataStream() {
  basic_subscriber.reset();
  extra_subscriber.reset();
  // A query still reading finishes before the members go.
  std::scoped_lock wait_for_readers(basic_readers, extra_readers);
}

// A second start replaces the subscribers. Each old one goes before its
// successor is declared: undeclaring waits for its callback, so that one
// subscriber at a time writes a stream's samples.
// The callback is a template argument, so that the call per sample stays direct.
template <class Data, Data& (DataStream::*kOnSample)(Data&)>
void DataStream::Resubscribe(std::shared_ptr<zenoh_mdw::Subscriber<Data>>& subscriber,
                             const std::shared_ptr<zenoh::Session>& session, const std::string& key,
                             LatestSample<Data>& latest) {
  spdlog::debug("[velmor::qrk::Client] Creating subscriber on topic: {}", key);
  subscriber.reset();
  subscriber = std::make_shared<zenoh_mdw::Subscriber<Data>>(
      session, latest.Back(), [this](Data& fresh) -> Data& { return (this->*kOnSample)(fresh); }, key);
}

qrk::StateCode DataStream::Start(std::shared_ptr<zenoh::Session> session, const std::string& serial) {
  Resubscribe<BasicData, &DataStream::OnBasicStreamData>(
      basic_subscriber, session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix), basic_latest);
  Resubscribe<ExtraData, &DataStream::OnExtraStreamData>(
      extra_subscriber, session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kExtraStreamSuffix), extra_latest);
  return qrk::MakeStateCode(qrk::GeneralState::OK);
}

DataStream::BasicData& DataStream::OnBasicStreamData(BasicData& fresh) {
  if (basic_arrived.load(std::memory_order_acquire)) {
    if (taps.basic) taps.basic(fresh);
    return basic_latest.Publish();
  }
  return PublishFirstBasicData(fresh);
}

DataStream::BasicData& DataStream::PublishFirstBasicData(BasicData& fresh) {
  std::unique_lock<std::mutex> lock(arrival_mutex);
  const bool startup_gave_up_before = startup_gave_up;
  lock.unlock();
  if (startup_gave_up_before) NameFirstBasicGroups(fresh);
  if (taps.basic) taps.basic(fresh);
  // Start-up gives up under this lock: either it finds this sample published
  // and its arrival announced, and reads the groups itself, or it has given
  // up and this sample names them, before it is published.
  lock.lock();
  if (startup_gave_up && !startup_gave_up_before) {
    lock.unlock();
    NameFirstBasicGroups(fresh);
    lock.lock();
  }
  BasicData& next = basic_latest.Publish();
  basic_arrived.store(true, std::memory_order_release);
  lock.unlock();
  arrival.notify_all();
  return next;
}

// Visible before the sample is, so that no query cuts the sample for the
// empty groups start-up was left with.
void DataStream::NameFirstBasicGroups(const BasicData& first) {
  first_basic_groups = NamedFirstGroups(zenoh_msgs::GroupIndices(first));
  first_groups_named.store(true, std::memory_order_release);
}

const GroupNames* DataStream::FirstBasicGroups() const noexcept {
  return first_groups_named.load(std::memory_order_acquire) ? &first_basic_groups : nullptr;
}

bool DataStream::AwaitBasicData(std::chrono::milliseconds within) {
  std::unique_lock<std::mutex> lock(arrival_mutex);
  if (arrival.wait_for(lock, within, [this] { return basic_arrived.load(std::memory_order_acquire); })) return true;
  startup_gave_up = true;
  return false;
}

DataStream::ExtraData& DataStream::OnExtraStreamData(ExtraData& fresh) {
  if (taps.extra) taps.extra(fresh);
  return extra_latest.Publish();
}

GroupNames DataStream::GetGroups(bool from_basic) {
  if (from_basic) {
    std::lock_guard<std::mutex> lock(basic_readers);
    return NameGroups(zenoh_msgs::GroupIndices(basic_latest.Read()), "basic");
  }
  std::lock_guard<std::mutex> lock(extra_readers);
  return NameGroups(zenoh_msgs::GroupIndices(extra_latest.Read()), "extra");
}

// A caller whose groups were still unnamed when it asked may cut a sample
// that arrived since: the first sample names the groups before it is
// published, so once a sample has been read they are visible here, and
// that sample is never cut for the empty groups start-up was left with.
const GroupNames& DataStream::NamedAfterRead(const GroupNames& groups) const noexcept {
  if (!groups.empty()) return groups;
  const GroupNames* first = FirstBasicGroups();
  return first != nullptr ? *first : groups;
}

std::map<JointGroup, qrk::RobotStates> DataStream::GetStates(const GroupNames& groups, const StartIds& start_ids,
                                                             const Dofs& dofs) {
  std::lock_guard<std::mutex> lock(basic_readers);
  const BasicData& latest = basic_latest.Read();
  return SliceStates(latest, NamedAfterRead(groups), start_ids, dofs);
}

std::map<JointGroup, qrk::RobotActions> DataStream::GetActions(const GroupNames& groups, const StartIds& start_ids,
                                                               const Dofs& dofs) {
  std::pair<std::int32_t, std::int32_t> timestamp;
  {
    std::lock_guard<std::mutex> lock(basic_readers);
    timestamp = StampOf(basic_latest.Read());
  }
  std::lock_guard<std::mutex> lock(extra_readers);
  return SliceActions(extra_latest.Read(), timestamp, NamedAfterRead(groups), start_ids, dofs);
}

template <class Field>
Field DataStream::ReadBasic(Field zenoh_msgs::qrk_msg::StatusData::*field) {
  std::lock_guard<std::mutex> lock(basic_readers);
  return zenoh_msgs::StatusField(basic_latest.Read(), field);
}

std::array<bool, 20> DataStream::GetDigitalInputs() {
  return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::digital_inputs);
}

std::array<bool, 20> DataStream::GetDigitalOutputs() {
  return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::digital_outputs);
}

bool DataStream::IsEstopReleased() { return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::estop_released); }

RobotIo DataStream::GetIo() {
  std::lock_guard<std::mutex> lock(basic_readers);
  return IoOf(basic_latest.Read());
}

bool DataStream::IsEnablingDeviceOn() { return ReadBasic(&zenoh_msgs::qrk_msg::StatusData::enabling_device_on); }

}  // namespace velmor::qrk_impl
