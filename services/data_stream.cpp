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

// A second start declares both successors before either predecessor goes,
// so that a declaration that throws (an invalid serial) leaves the earlier
// subscribers delivering. The stream's receiver objects allow one writer at a
// time, so a successor decodes into storage of its own and drops what it
// takes until its predecessor is undeclared (undeclaring waits for a
// callback in progress); from then on it alone writes, its storage swapped
// with the receiver's object on its first sample. The gate costs one load
// per sample; the callback is a template argument, so that the call stays
// direct.
template <class Data, Data& (DataStream::*kOnSample)(Data&)>
DataStream::Successor<Data> DataStream::DeclareSuccessor(const std::shared_ptr<zenoh::Session>& session,
                                                         const std::string& key, LatestSample<Data>& latest) {
  spdlog::debug("[velmor::qrk::Client] Creating subscriber on topic: {}", key);
  auto may_write = std::make_shared<std::atomic<bool>>(false);
  auto spare = std::make_shared<Data>();
  auto on_sample = [this, may_write, spare, &latest](Data& fresh) -> Data& {
    if (!may_write->load(std::memory_order_acquire)) return fresh;
    if (&fresh == spare.get()) {
      using std::swap;
      swap(fresh, latest.Back());
      return (this->*kOnSample)(latest.Back());
    }
    return (this->*kOnSample)(fresh);
  };
  Data& first = *spare;
  return {std::make_shared<zenoh_mdw::Subscriber<Data>>(session, first, std::move(on_sample), key),
          std::move(may_write)};
}

template <class Data>
void DataStream::Replace(std::shared_ptr<zenoh_mdw::Subscriber<Data>>& current, Successor<Data> successor) {
  current.swap(successor.subscriber);
  successor.subscriber.reset();  // undeclares the predecessor once its callback has returned
  successor.may_write->store(true, std::memory_order_release);
}

qrk::StateCode DataStream::Start(std::shared_ptr<zenoh::Session> session, const std::string& serial) {
  auto basic = DeclareSuccessor<BasicData, &DataStream::OnBasicStreamData>(
      session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix), basic_latest);
  auto extra = DeclareSuccessor<ExtraData, &DataStream::OnExtraStreamData>(
      session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kExtraStreamSuffix), extra_latest);
  Replace(basic_subscriber, std::move(basic));
  Replace(extra_subscriber, std::move(extra));
  return qrk::MakeStateCode(qrk::GeneralState::OK);
}

DataStream::BasicData& DataStream::OnBasicStreamData(BasicData& fresh) {
  if (basic_arrived.load(std::memory_order_acquire)) {
    if (taps.basic) taps.basic(fresh);
    return basic_latest.Publish();
  }
  return PublishFirstBasicData(fresh);
}

// The tap goes first: a tap that throws drops the sample before it names
// anything, so the groups are named once, by the sample published. They are
// written before the sample is published and flagged after it, so that a
// caller that finds them reads that sample or a later one, never the
// all-zero one before it.
DataStream::BasicData& DataStream::PublishFirstBasicData(BasicData& fresh) {
  if (taps.basic) taps.basic(fresh);
  std::unique_lock<std::mutex> lock(arrival_mutex);
  // Start-up gives up under this lock: either it has, and this sample names
  // the groups, or it finds this sample published and reads them itself.
  const bool names_groups = startup_gave_up;
  if (names_groups) {
    // Start-up waits no more, and naming may log: the lock can go.
    lock.unlock();
    first_basic_groups = NamedFirstGroups(zenoh_msgs::GroupIndices(fresh));
  }
  BasicData& next = basic_latest.Publish();
  if (names_groups) first_groups_named.store(true, std::memory_order_release);
  basic_arrived.store(true, std::memory_order_release);
  if (lock.owns_lock()) lock.unlock();
  arrival.notify_all();
  return next;
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
// that arrived since. The first sample's groups are looked up before the
// sample is read: found, the sample read is theirs or a later one; not found
// yet, the sample is cut for no groups, which is no error.
const GroupNames& DataStream::NamedBeforeRead(const GroupNames& groups) const noexcept {
  if (!groups.empty()) return groups;
  const GroupNames* first = FirstBasicGroups();
  return first != nullptr ? *first : groups;
}

std::map<JointGroup, qrk::RobotStates> DataStream::GetStates(const GroupNames& groups, const StartIds& start_ids,
                                                             const Dofs& dofs) {
  std::lock_guard<std::mutex> lock(basic_readers);
  const GroupNames& named = NamedBeforeRead(groups);
  return SliceStates(basic_latest.Read(), named, start_ids, dofs);
}

std::map<JointGroup, qrk::RobotActions> DataStream::GetActions(const GroupNames& groups, const StartIds& start_ids,
                                                               const Dofs& dofs) {
  const GroupNames& named = NamedBeforeRead(groups);
  std::pair<std::int32_t, std::int32_t> timestamp;
  {
    std::lock_guard<std::mutex> lock(basic_readers);
    timestamp = StampOf(basic_latest.Read());
  }
  std::lock_guard<std::mutex> lock(extra_readers);
  return SliceActions(extra_latest.Read(), timestamp, named, start_ids, dofs);
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
