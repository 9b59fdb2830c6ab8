#pragma once
// DataStream receives the robot's two state streams and answers questions
// about the latest sample of each.
//
// Threads: each subscriber's handler runs on a zenoh thread, takes a sample
// (one validating pass and one copy of its bytes) into the stream's
// LatestSample and publishes it there without waiting for anyone. Queries run
// on the caller's thread under the stream's reader mutex, which only queries
// take; no path but the destructor holds both. Segmentation is lazy: the
// receive path only copies, the queries pay for slicing, widening and
// rotation.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "messages/stream_samples.hpp"
#include "middleware/subscriber.hpp"
#include "records/state_code.hpp"
#include "services/group_maps.hpp"
#include "services/latest_sample.hpp"
#include "services/robot_io.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk_impl {

/// Sees every sample on zenoh's thread as it arrives, before it becomes the
/// latest (and before a first basic sample names the groups): qrk counts and
/// records samples through them. They must not block; the client itself sets
/// none. A tap that throws drops the sample, which then names nothing.
struct StreamTaps {
  std::function<void(const zenoh_msgs::BasicSample&)> basic;
  std::function<void(const zenoh_msgs::ExtraSample&)> extra;
};

class DataStream {
 public:
  using BasicData = zenoh_msgs::BasicSample;
  using ExtraData = zenoh_msgs::ExtraSample;

  explicit DataStream(StreamTaps taps = {}) : taps(std::move(taps)) {}
  DataStream(const DataStream&) = delete;
  DataStream& operator=(const DataStream&) = delete;
  /// Stops both subscribers, then waits for any copy or query in progress.
  virtual ~DataStream();

  /// Subscribes to the robot's two streams, replacing the subscribers of an
  /// earlier Start: both successors are declared before either predecessor
  /// goes, and each writes only once its predecessor has stopped. Returns
  /// success; throws zenoh::ZException when a subscriber cannot be declared
  /// (an invalid serial), and then the earlier subscribers stay.
  qrk::StateCode Start(std::shared_ptr<zenoh::Session> session, const std::string& serial);

  /// Start-up's wait for the first basic sample, at most `within`: true when
  /// one has arrived (at once if one had), and start-up names the groups
  /// from the latest sample. False hands the naming to the first sample
  /// still to come (FirstBasicGroups).
  bool AwaitBasicData(std::chrono::milliseconds within);

  /// The joint groups named by the first basic sample when it arrived after
  /// start-up stopped waiting for it; null until that sample is published,
  /// and for good when start-up saw a sample. Written once, right before
  /// that sample is published, and visible only once it is, so any thread may
  /// read it without a lock, and a caller that found it set reads no older
  /// sample than the one that named it.
  const GroupNames* FirstBasicGroups() const noexcept;

  /// The joint groups listed by the latest message of one stream, with their
  /// names. Empty, with an error line, if an index is above 5; throws
  /// std::out_of_range for an index that names no group (1).
  GroupNames GetGroups(bool from_basic);
  /// Measured state per group; empty, with an error line, when the latest
  /// message does not fit the maps. Empty `groups` stand for those the first
  /// sample named (FirstBasicGroups) once that sample is the one read.
  std::map<qrk::JointGroup, qrk::RobotStates> GetStates(const GroupNames& groups, const StartIds& start_ids,
                                                        const Dofs& dofs);
  /// Commanded values per group, stamped with the latest basic time stamp.
  std::map<qrk::JointGroup, qrk::RobotActions> GetActions(const GroupNames& groups, const StartIds& start_ids,
                                                          const Dofs& dofs);
  std::array<bool, 20> GetDigitalInputs();
  std::array<bool, 20> GetDigitalOutputs();
  bool IsEstopReleased();
  bool IsEnablingDeviceOn();
  /// All of the above of the latest basic sample, read at once.
  RobotIo GetIo();

  /// Stream callbacks, run by the subscribers on zenoh's threads: publish the
  /// sample taken into `fresh` and return the object to take the next into.
  BasicData& OnBasicStreamData(BasicData& fresh);
  ExtraData& OnExtraStreamData(ExtraData& fresh);

 private:
  template <class Field>
  Field ReadBasic(Field zenoh_msgs::qrk_msg::StatusData::*field);
  // A declared subscriber whose callback does not write the stream's samples
  // until `may_write` is set.
  template <class Data>
  struct Successor {
    std::shared_ptr<zenoh_mdw::Subscriber<Data>> subscriber;
    std::shared_ptr<std::atomic<bool>> may_write;
  };
  template <class Data, Data& (DataStream::*kOnSample)(Data&)>
  Successor<Data> DeclareSuccessor(const std::shared_ptr<zenoh::Session>& session, const std::string& key,
                                   LatestSample<Data>& latest);
  template <class Data>
  static void Replace(std::shared_ptr<zenoh_mdw::Subscriber<Data>>& current, Successor<Data> successor);
  BasicData& PublishFirstBasicData(BasicData& fresh);
  const GroupNames& NamedBeforeRead(const GroupNames& groups) const noexcept;

  StreamTaps taps;
  std::shared_ptr<zenoh_mdw::Subscriber<BasicData>> basic_subscriber;
  std::shared_ptr<zenoh_mdw::Subscriber<ExtraData>> extra_subscriber;
  LatestSample<BasicData> basic_latest;
  LatestSample<ExtraData> extra_latest;
  std::mutex basic_readers;
  std::mutex extra_readers;
  // Start-up waits for the first basic sample; later samples only read the
  // flag. The first sample's groups stand in for a start-up that saw none
  // (gave up, under arrival_mutex, before that sample arrived): written
  // before that sample is published, flagged named after.
  std::atomic<bool> basic_arrived{false};
  bool startup_gave_up = false;
  std::atomic<bool> first_groups_named{false};
  GroupNames first_basic_groups;
  std::mutex arrival_mutex;
  std::condition_variable arrival;
};

}  // namespace velmor::qrk_impl
