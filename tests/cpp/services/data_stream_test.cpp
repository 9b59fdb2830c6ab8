#include "services/data_stream.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <utility>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "services/robot_startup.hpp"
#include "support/log_capture.hpp"
#include "support/shared_session_test.hpp"
#include "support/wait.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;
using qrk::RobotStates;
using BasicData = zenoh_msgs::qrk_msg::AllBasicStreamData;
using ExtraData = zenoh_msgs::qrk_msg::AllExtraStreamData;
constexpr auto kError = spdlog::level::err;
constexpr std::size_t kJoints = 16;

// The layout of a 16-joint robot as start-up learns it.
const GroupNames kGroups{
    {JointGroup::ARM_1, "ARM_1"}, {JointGroup::ARM_2, "ARM_2"}, {JointGroup::EXT_AXIS, "EXT_AXIS"}};
const StartIds kStarts{{JointGroup::ARM_1, 0}, {JointGroup::ARM_2, 7}, {JointGroup::EXT_AXIS, 14}};
const Dofs kDofs{{JointGroup::ARM_1, 7}, {JointGroup::ARM_2, 7}, {JointGroup::EXT_AXIS, 2}};

// Joint vector v of a sample holds 100 * v + joint index, so a swapped or
// shifted vector shows in the result.
std::vector<float> JointVector(int v) {
  std::vector<float> values(kJoints);
  for (std::size_t i = 0; i < kJoints; ++i) values[i] = static_cast<float>(100 * v) + static_cast<float>(i);
  return values;
}
std::vector<double> Slice(int v, int start, int count) {
  std::vector<double> values;
  for (int i = start; i < start + count; ++i) values.push_back(100.0 * v + i);
  return values;
}

template <std::size_t N>
std::array<float, N> Filled(float first) {
  std::array<float, N> values{};
  for (std::size_t i = 0; i < N; ++i) values[i] = first + static_cast<float>(i);
  return values;
}
template <std::size_t N>
std::array<double, N> Widened(const std::array<float, N>& values) {
  std::array<double, N> wide{};
  for (std::size_t i = 0; i < N; ++i) wide[i] = values[i];
  return wide;
}

// Cartesian entry `tag`: distinct values per field, orientation a half turn about z.
zenoh_msgs::qrk_msg::CartesianStateData Cartesian(float tag) {
  zenoh_msgs::qrk_msg::CartesianStateData c;
  c.flange_pose = Filled<7>(tag + 10);
  c.tcp_pose = {tag, tag, tag, 0, 0, 0, 1};
  c.tcp_twist = Filled<6>(tag + 30);
  c.tcp_wrench_local = Filled<6>(tag + 40);
  c.aux_wrench = Filled<6>(tag + 50);
  c.raw_tcp_wrench_local = Filled<6>(tag + 60);
  c.raw_ft_sensor = Filled<6>(tag + 70);
  return c;
}

BasicData Basic(std::vector<std::uint16_t> indices) {
  BasicData m;
  auto& j = m.joint_data;
  int v = 0;
  for (auto* field :
       {&j.q, &j.theta, &j.dq, &j.dtheta, &j.tau, &j.tau_dot, &j.tau_ext, &j.tau_interact, &j.temperature}) {
    *field = JointVector(v++);
  }
  for (std::size_t i = 0; i < indices.size(); ++i) m.cartesian_data.push_back(Cartesian(1000.0f * (i + 1)));
  m.group_indices = std::move(indices);
  m.timestamp_first = 5;
  m.timestamp_second = 4294967295u;
  return m;
}

ExtraData Extra(std::vector<std::uint16_t> indices) {
  ExtraData m;
  m.joint_data = {JointVector(0), JointVector(1), JointVector(2)};
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const float tag = 1000.0f * (i + 1);
    m.cartesian_data.push_back({Filled<7>(tag), Filled<6>(tag + 10), Filled<6>(tag + 20)});
  }
  m.group_indices = std::move(indices);
  return m;
}

// The record's joint vectors in the order of JointVector's v.
const std::vector<double> RobotStates::*const kJointFields[] = {
    &RobotStates::q,       &RobotStates::theta,        &RobotStates::dq,
    &RobotStates::dtheta,  &RobotStates::tau,          &RobotStates::tau_dot,
    &RobotStates::tau_ext, &RobotStates::tau_interact, &RobotStates::temperature};

// One started DataStream per test, on its own serial, fed through publishers
// on the shared session (whose own subscribers receive a put before it returns).
class DataStreamTest : public test::SharedSessionTest {
 protected:
  void SetUp() override {
    serial_ = NextSerial("STREAM");
    test::LogCapture log;
    ASSERT_EQ(stream_.Start(session_, serial_).value, 100000);
    start_lines_ = log.TextsAt(spdlog::level::debug);
    basic_.emplace(*session_, zenoh::KeyExpr(zenoh_mdw::RobotKey(serial_, zenoh_mdw::kBasicStreamSuffix)));
    extra_.emplace(*session_, zenoh::KeyExpr(zenoh_mdw::RobotKey(serial_, zenoh_mdw::kExtraStreamSuffix)));
  }

  void Feed(const BasicData& m) { basic_->put(zenoh_msgs::Encode(m)); }
  void Feed(const ExtraData& m) { extra_->put(zenoh_msgs::Encode(m)); }

  // Another started stream, on a serial of its own, for a first sample of its own.
  struct FreshStream {
    explicit FreshStream(StreamTaps taps = {})
        : serial(NextSerial("STREAM")),
          stream(std::move(taps)),
          basic(*session_, zenoh::KeyExpr(zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix))),
          extra(*session_, zenoh::KeyExpr(zenoh_mdw::RobotKey(serial, zenoh_mdw::kExtraStreamSuffix))) {
      stream.Start(session_, serial);
    }
    void Feed(const BasicData& m) { basic.put(zenoh_msgs::Encode(m)); }
    void Feed(const ExtraData& m) { extra.put(zenoh_msgs::Encode(m)); }
    std::string serial;
    DataStream stream;
    zenoh::Publisher basic;
    zenoh::Publisher extra;
  };

  // Holds the first sample a tap sees until Release (or a hang guard's
  // deadline), and counts the taps running at once.
  struct TapHold {
    void Enter() {
      std::unique_lock<std::mutex> lock(mutex);
      most_at_once = std::max(most_at_once, ++at_once);
      changed.notify_all();
      if (std::exchange(first, false)) changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
      --at_once;
    }
    bool AwaitHeld() {
      std::unique_lock<std::mutex> lock(mutex);
      return changed.wait_for(lock, std::chrono::seconds(10), [this] { return at_once == 1; });
    }
    void Release() {
      std::lock_guard<std::mutex> lock(mutex);
      released = true;
      changed.notify_all();
    }
    int MostAtOnce() {
      std::lock_guard<std::mutex> lock(mutex);
      return most_at_once;
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool first = true;
    bool released = false;
    int at_once = 0;
    int most_at_once = 0;
  };

  std::string serial_;
  std::vector<std::string> start_lines_;
  DataStream stream_;
  std::optional<zenoh::Publisher> basic_;
  std::optional<zenoh::Publisher> extra_;
};

TEST_F(DataStreamTest, BeforeAnySampleQueriesAnswerFromAnAllZeroMessage) {
  EXPECT_EQ(start_lines_,
            (std::vector<std::string>{
                "[velmor::qrk::Client] Creating subscriber on topic: velmor/robot/" + serial_ + "/basic_stream_data",
                "[velmor::qrk::Client] Creating subscriber on topic: velmor/robot/" + serial_ + "/extra_stream_data"}));
  test::LogCapture log;
  EXPECT_TRUE(stream_.GetGroups(true).empty());
  EXPECT_TRUE(stream_.GetGroups(false).empty());
  EXPECT_EQ(stream_.GetDigitalInputs(), (std::array<bool, 20>{}));
  EXPECT_EQ(stream_.GetDigitalOutputs(), (std::array<bool, 20>{}));
  EXPECT_FALSE(stream_.IsEstopReleased());
  EXPECT_FALSE(stream_.IsEnablingDeviceOn());
  EXPECT_TRUE(stream_.GetStates(kGroups, kStarts, kDofs).empty());
  EXPECT_TRUE(stream_.GetActions(kGroups, kStarts, kDofs).empty());
  EXPECT_EQ(
      log.TextsAt(kError),
      (std::vector<std::string>{"[velmor::qrk::Client] Failed to segment full-DoF joint data for joint group [3]",
                                "[velmor::qrk::Client] Failed to segment desired joint data for joint group [3]"}));
}

TEST_F(DataStreamTest, StatesCutEachGroupOutOfTheFullRobotArraysAndRotateItsWrenches) {
  BasicData m = Basic({3, 4});
  m.status.estop_released = true;
  m.status.digital_inputs[19] = true;
  m.status.digital_outputs[0] = true;
  Feed(m);
  test::LogCapture log;
  const auto states = stream_.GetStates(kGroups, kStarts, kDofs);
  ASSERT_EQ(states.size(), 3u);
  const std::tuple<JointGroup, int, int> layout[] = {
      {JointGroup::ARM_1, 0, 7}, {JointGroup::ARM_2, 7, 7}, {JointGroup::EXT_AXIS, 14, 2}};
  for (const auto& [group, start, count] : layout) {
    const RobotStates& s = states.at(group);
    EXPECT_EQ(s.timestamp, (std::pair<std::int32_t, std::int32_t>{5, -1})) << "second half is kept bit for bit";
    for (int v = 0; v < 9; ++v) EXPECT_EQ(s.*kJointFields[v], Slice(v, start, count)) << "vector " << v;
  }
  const std::pair<JointGroup, std::size_t> entries[] = {{JointGroup::ARM_1, 0}, {JointGroup::ARM_2, 1}};
  for (const auto& [group, i] : entries) {
    const RobotStates& s = states.at(group);
    const auto& c = m.cartesian_data[i];
    EXPECT_EQ(s.flange_pose, Widened(c.flange_pose));
    EXPECT_EQ(s.tcp_pose, Widened(c.tcp_pose));
    EXPECT_EQ(s.tcp_twist, Widened(c.tcp_twist));
    EXPECT_EQ(s.tcp_wrench_local, Widened(c.tcp_wrench_local));
    EXPECT_EQ(s.raw_tcp_wrench_local, Widened(c.raw_tcp_wrench_local));
    EXPECT_EQ(s.raw_ft_sensor, Widened(c.raw_ft_sensor));
    const auto& f = s.tcp_wrench_local;
    EXPECT_EQ(s.tcp_wrench, (std::array<double, 6>{-f[0], -f[1], f[2], -f[3], -f[4], f[5]}));
    const auto& r = s.raw_tcp_wrench_local;
    EXPECT_EQ(s.raw_tcp_wrench, (std::array<double, 6>{-r[0], -r[1], r[2], -r[3], -r[4], r[5]}));
  }
  // In the layout but not in the sample's group list: joints only.
  EXPECT_EQ(states.at(JointGroup::EXT_AXIS).tcp_pose, (std::array<double, 7>{}));
  EXPECT_EQ(states.at(JointGroup::EXT_AXIS).tcp_wrench, (std::array<double, 6>{}));

  EXPECT_TRUE(stream_.IsEstopReleased());
  EXPECT_FALSE(stream_.IsEnablingDeviceOn());
  EXPECT_TRUE(stream_.GetDigitalInputs()[19]);
  EXPECT_FALSE(stream_.GetDigitalInputs()[0]);
  EXPECT_TRUE(stream_.GetDigitalOutputs()[0]);
  // The same, read at once, with the sample's time stamp.
  const qrk_impl::RobotIo io = stream_.GetIo();
  EXPECT_EQ(io.timestamp, states.at(JointGroup::ARM_1).timestamp);
  EXPECT_EQ(std::make_tuple(io.estop_released, io.enabling_device_on, io.digital_inputs, io.digital_outputs),
            std::make_tuple(true, false, stream_.GetDigitalInputs(), stream_.GetDigitalOutputs()));
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(DataStreamTest, SampleGroupsOutsideTheLayoutStillGetCartesianData) {
  // 2 is not in the layout, 7 is no group at all, 3 appears twice.
  Feed(Basic({2, 3, 7, 3}));
  const auto states = stream_.GetStates(kGroups, kStarts, kDofs);
  ASSERT_EQ(states.size(), 5u);
  const RobotStates& arms = states.at(JointGroup::ARMS);
  EXPECT_EQ(arms.timestamp, (std::pair<std::int32_t, std::int32_t>{0, 0}));
  EXPECT_TRUE(arms.q.empty());
  EXPECT_EQ(arms.flange_pose[0], 1010.0);
  EXPECT_EQ(arms.tcp_wrench[0], -1040.0);
  EXPECT_EQ(states.at(static_cast<JointGroup>(7)).flange_pose[0], 3010.0);
  EXPECT_EQ(states.at(JointGroup::ARM_1).flange_pose[0], 4010.0) << "the later entry of a repeated group wins";
  EXPECT_EQ(states.at(JointGroup::ARM_1).q, Slice(0, 0, 7));
}

TEST_F(DataStreamTest, InconsistentSampleIsLoggedOnceAndAnswersEmpty) {
  const std::string tag = "[velmor::qrk::Client] ";
  const struct {
    std::function<void(BasicData&, StartIds&, Dofs&)> change;
    std::string line;
  } cases[] = {
      {[](BasicData& m, StartIds&, Dofs&) { m.cartesian_data.pop_back(); },
       "The received data has mismatched sizes: cartesian_data size is 2, expected number of joint groups is 3"},
      {[](BasicData&, StartIds&, Dofs& d) { d.erase(JointGroup::EXT_AXIS); },
       "Missing start ID or DoF metadata for joint group [5]"},
      {[](BasicData&, StartIds& s, Dofs&) { s.erase(JointGroup::ARM_1); },
       "Missing start ID or DoF metadata for joint group [3]"},
      {[](BasicData& m, StartIds&, Dofs&) { m.joint_data.temperature.pop_back(); },
       "Failed to segment full-DoF joint data for joint group [5]"},
      {[](BasicData&, StartIds& s, Dofs&) { s[JointGroup::ARM_2] = -1; },
       "Failed to segment full-DoF joint data for joint group [4]"},
      {[](BasicData&, StartIds&, Dofs& d) { d[JointGroup::ARM_1] = ~std::uint64_t{0}; },
       "Failed to segment full-DoF joint data for joint group [3]"},
  };
  for (const auto& c : cases) {
    BasicData m = Basic({3, 4, 5});
    StartIds starts = kStarts;
    Dofs dofs = kDofs;
    c.change(m, starts, dofs);
    Feed(m);
    test::LogCapture log;
    EXPECT_TRUE(stream_.GetStates(kGroups, starts, dofs).empty()) << c.line;
    EXPECT_EQ(log.Lines().size(), 1u) << c.line;
    EXPECT_EQ(log.Count(kError, tag + c.line), 1) << c.line;
  }
  Feed(Basic({3}));
  EXPECT_EQ(stream_.GetStates(kGroups, kStarts, kDofs).size(), 3u) << "the next good sample is answered";
}

TEST_F(DataStreamTest, ActionsCarryTheLatestBasicTimeStamp) {
  Feed(Basic({3}));
  // Without an extra sample the desired vectors are empty: only empty slices at 0 fit.
  const StartIds zero_starts{{JointGroup::ARM_1, 0}, {JointGroup::ARM_2, 0}, {JointGroup::EXT_AXIS, 0}};
  const Dofs zero_dofs{{JointGroup::ARM_1, 0}, {JointGroup::ARM_2, 0}, {JointGroup::EXT_AXIS, 0}};
  auto actions = stream_.GetActions(kGroups, zero_starts, zero_dofs);
  ASSERT_EQ(actions.size(), 3u);
  for (const auto& [group, a] : actions) {
    EXPECT_EQ(a.timestamp, (std::pair<std::int32_t, std::int32_t>{5, -1}));
    EXPECT_TRUE(a.q_d.empty());
    EXPECT_EQ(a.tcp_pose_d, (std::array<double, 7>{}));
  }

  const ExtraData extra = Extra({4, 3});
  Feed(extra);
  BasicData later = Basic({3});
  later.timestamp_first = 6;
  later.timestamp_second = 7;
  Feed(later);
  actions = stream_.GetActions(kGroups, kStarts, kDofs);
  ASSERT_EQ(actions.size(), 3u);
  const auto& arm_2 = actions.at(JointGroup::ARM_2);
  EXPECT_EQ(arm_2.timestamp, (std::pair<std::int32_t, std::int32_t>{6, 7}));
  EXPECT_EQ(arm_2.q_d, Slice(0, 7, 7));
  EXPECT_EQ(arm_2.dq_d, Slice(1, 7, 7));
  EXPECT_EQ(arm_2.tau_d, Slice(2, 7, 7));
  EXPECT_EQ(arm_2.tcp_pose_d, Widened(extra.cartesian_data[0].tcp_pose_d));
  EXPECT_EQ(arm_2.tcp_twist_d, Widened(extra.cartesian_data[0].tcp_twist_d));
  EXPECT_EQ(arm_2.tcp_wrench_d, Widened(extra.cartesian_data[0].tcp_wrench_d));
  EXPECT_EQ(actions.at(JointGroup::ARM_1).tcp_pose_d, Widened(extra.cartesian_data[1].tcp_pose_d));
  EXPECT_EQ(actions.at(JointGroup::EXT_AXIS).tau_d, Slice(2, 14, 2));
  EXPECT_EQ(actions.at(JointGroup::EXT_AXIS).tcp_wrench_d, (std::array<double, 6>{}));
}

TEST_F(DataStreamTest, InconsistentDesiredSampleIsLoggedOnceAndAnswersEmpty) {
  const std::string tag = "[velmor::qrk::Client] ";
  ExtraData mismatched = Extra({3, 4});
  mismatched.cartesian_data.pop_back();
  ExtraData short_torque = Extra({3});
  short_torque.joint_data.tau_d.resize(15);
  const std::pair<ExtraData, std::string> cases[] = {
      {mismatched,
       "The received desired data has mismatched sizes: cartesian_data size is 1, expected number of joint groups "
       "is 2"},
      {short_torque, "Failed to segment desired joint data for joint group [5]"},
  };
  for (const auto& [m, line] : cases) {
    Feed(m);
    test::LogCapture log;
    EXPECT_TRUE(stream_.GetActions(kGroups, kStarts, kDofs).empty()) << line;
    EXPECT_EQ(log.Lines().size(), 1u) << line;
    EXPECT_EQ(log.Count(kError, tag + line), 1) << line;
  }
  Feed(Extra({3}));
  test::LogCapture log;
  EXPECT_TRUE(stream_.GetActions(kGroups, kStarts, {{JointGroup::ARM_1, 7}}).empty());
  EXPECT_EQ(log.TextsAt(kError),
            std::vector<std::string>{tag + "Missing start ID or DoF metadata for joint group [4]"});
}

TEST_F(DataStreamTest, GroupListNamesEachValidGroupOnce) {
  Feed(Basic({3, 2, 3, 0}));
  Feed(Extra({5}));
  const GroupNames first{{JointGroup::ALL, "ALL"}, {JointGroup::ARMS, "ARMS"}, {JointGroup::ARM_1, "ARM_1"}};
  EXPECT_EQ(stream_.GetGroups(true), first);
  EXPECT_EQ(stream_.GetGroups(false), (GroupNames{{JointGroup::EXT_AXIS, "EXT_AXIS"}}));

  Feed(Basic({3, 7, 4}));
  Feed(Extra({65535}));
  test::LogCapture log;
  EXPECT_TRUE(stream_.GetGroups(true).empty());
  EXPECT_TRUE(stream_.GetGroups(false).empty());
  EXPECT_EQ(log.TextsAt(kError),
            (std::vector<std::string>{
                "[velmor::qrk::Client] The received basic data contains invalid joint group index [7]",
                "[velmor::qrk::Client] The received extra data contains invalid joint group index [65535]"}));

  Feed(Basic({3, 1}));
  EXPECT_THROW(stream_.GetGroups(true), std::out_of_range);
  EXPECT_FALSE(stream_.IsEstopReleased()) << "the lock was released by the throw";
}

// Start-up names the groups when it sees a sample in time, and the sample
// then names nothing: one line for a bad index, and for the index without a
// name only start-up's throw.
TEST_F(DataStreamTest, AFirstSampleStartUpSawIsNamedByStartUpAlone) {
  const std::pair<std::vector<std::uint16_t>, std::vector<std::string>> cases[] = {
      {{3, 7}, {"[velmor::qrk::Client] The received basic data contains invalid joint group index [7]"}},
      {{1}, {}},
  };
  for (const auto& [indices, lines] : cases) {
    FreshStream fresh;
    test::LogCapture log;
    fresh.Feed(Basic(indices));
    ASSERT_TRUE(fresh.stream.AwaitBasicData(std::chrono::milliseconds(0)));
    if (lines.empty()) {
      EXPECT_THROW(fresh.stream.GetGroups(true), std::out_of_range);
    } else {
      EXPECT_TRUE(fresh.stream.GetGroups(true).empty());
    }
    EXPECT_EQ(log.TextsAt(kError), lines) << indices.size() << " indices";
    EXPECT_EQ(fresh.stream.FirstBasicGroups(), nullptr);
  }
}

// When start-up saw none, the first sample names the groups, once, and they
// become visible together with that sample: a query while the sample is
// still in its tap cuts the all-zero sample before it for no groups, which
// is no error, never for the groups it will name.
TEST_F(DataStreamTest, AFirstSampleAfterStartUpGaveUpNamesTheGroupsTogetherWithItself) {
  TapHold hold;
  FreshStream fresh(StreamTaps{[&](const zenoh_msgs::BasicSample&) { hold.Enter(); }, {}});
  EXPECT_FALSE(fresh.stream.AwaitBasicData(std::chrono::milliseconds(0)));
  RobotLayout layout;  // as start-up leaves it
  layout.groups_from_first_sample = true;
  layout.start_ids = kStarts;
  layout.dofs = kDofs;
  test::LogCapture during_hold;
  std::thread held([&] { fresh.Feed(Basic({3, 4, 5})); });
  ASSERT_TRUE(hold.AwaitHeld());
  EXPECT_EQ(fresh.stream.FirstBasicGroups(), nullptr) << "named before the sample was published";
  EXPECT_TRUE(fresh.stream.GetStates(layout.Groups(fresh.stream), layout.start_ids, layout.dofs).empty());
  EXPECT_TRUE(fresh.stream.GetStates({}, kStarts, kDofs).empty());
  EXPECT_TRUE(fresh.stream.GetGroups(true).empty()) << "the sample was the latest before its tap ran";
  hold.Release();
  held.join();
  EXPECT_EQ(during_hold.TextsAt(kError), std::vector<std::string>{});
  const GroupNames& first = kGroups;
  EXPECT_EQ(layout.Groups(fresh.stream), first);
  EXPECT_EQ(fresh.stream.GetStates(layout.Groups(fresh.stream), layout.start_ids, layout.dofs).size(), 3u);
  ASSERT_NE(fresh.stream.FirstBasicGroups(), nullptr);
  fresh.Feed(Basic({4}));
  EXPECT_EQ(*fresh.stream.FirstBasicGroups(), first) << "only the first sample names them";
  EXPECT_EQ(fresh.stream.GetGroups(true), (GroupNames{{JointGroup::ARM_2, "ARM_2"}}));

  // A query that read the groups before the first sample came, still empty,
  // cuts that sample for the groups it named, never for none.
  FreshStream late;
  EXPECT_FALSE(late.stream.AwaitBasicData(std::chrono::milliseconds(0)));
  const GroupNames unnamed_yet;
  late.Feed(Basic({3, 4, 5}));
  ASSERT_NE(late.stream.FirstBasicGroups(), nullptr);
  const auto states = late.stream.GetStates(unnamed_yet, kStarts, kDofs);
  ASSERT_EQ(states.count(JointGroup::ARM_1), 1u);
  EXPECT_EQ(states.at(JointGroup::ARM_1).q.size(), 7u) << "the first sample was cut with no joints";

  // Names that cannot be had leave the groups empty, with one line each.
  for (const std::uint16_t index : {7, 1}) {
    FreshStream unnamed;
    EXPECT_FALSE(unnamed.stream.AwaitBasicData(std::chrono::milliseconds(0)));
    test::LogCapture log;
    unnamed.Feed(Basic({3, index}));
    EXPECT_EQ(
        log.TextsAt(kError),
        std::vector<std::string>{"[velmor::qrk::Client] The received basic data contains invalid joint group index [" +
                                 std::to_string(index) + "]"});
    ASSERT_NE(unnamed.stream.FirstBasicGroups(), nullptr);
    EXPECT_TRUE(unnamed.stream.FirstBasicGroups()->empty());
  }
}

// A first sample whose tap throws is dropped before it names anything: the
// groups are named once, by the sample published, while other threads may
// already be reading them (a second naming would race with them).
TEST_F(DataStreamTest, AFirstSampleDroppedByItsTapNamesNothing) {
  std::atomic<int> taps{0};
  FreshStream fresh(StreamTaps{[&](const zenoh_msgs::BasicSample&) {
                                 if (taps.fetch_add(1) == 0) throw std::runtime_error("a recorder that failed");
                               },
                               {}});
  EXPECT_FALSE(fresh.stream.AwaitBasicData(std::chrono::milliseconds(0)));
  std::atomic<bool> feeding_done{false};
  std::size_t groups_seen = 0;
  std::thread reader([&] {
    while (!feeding_done.load()) {
      const GroupNames* named = fresh.stream.FirstBasicGroups();
      if (named != nullptr) groups_seen = std::max(groups_seen, named->size());
    }
  });
  fresh.Feed(Basic({3}));
  const bool named_by_dropped = fresh.stream.FirstBasicGroups() != nullptr;
  fresh.Feed(Basic({4, 5}));
  fresh.Feed(Basic({2}));
  feeding_done = true;
  reader.join();
  EXPECT_FALSE(named_by_dropped) << "the dropped sample named the groups";
  ASSERT_NE(fresh.stream.FirstBasicGroups(), nullptr);
  EXPECT_EQ(*fresh.stream.FirstBasicGroups(),
            (GroupNames{{JointGroup::ARM_2, "ARM_2"}, {JointGroup::EXT_AXIS, "EXT_AXIS"}}));
  EXPECT_LE(groups_seen, 2u);
  EXPECT_EQ(taps.load(), 3);
}

// A second start declares both new subscribers before either old one goes,
// and each new one writes only once its predecessor has stopped: while the
// old extra subscriber holds a sample, the new basic one already delivers
// (so the new extra one exists), and a sample put to the new extra one,
// which reaches it before the put returns, is not taken (two would fill the
// receiver's objects at once).
TEST_F(DataStreamTest, ASecondStartLetsEachNewSubscriberWriteOnlyOnceItsPredecessorStopped) {
  TapHold hold;
  FreshStream fresh(StreamTaps{{}, [&](const zenoh_msgs::ExtraSample&) { hold.Enter(); }});
  std::thread held([&] { fresh.Feed(Extra({3})); });
  ASSERT_TRUE(hold.AwaitHeld());
  const std::string other_serial = NextSerial("STREAM");
  zenoh::Publisher other_basic(*session_,
                               zenoh::KeyExpr(zenoh_mdw::RobotKey(other_serial, zenoh_mdw::kBasicStreamSuffix)));
  zenoh::Publisher other_extra(*session_,
                               zenoh::KeyExpr(zenoh_mdw::RobotKey(other_serial, zenoh_mdw::kExtraStreamSuffix)));
  std::optional<qrk::StateCode> started;
  std::thread starter([&] { started = fresh.stream.Start(session_, other_serial); });
  const bool new_basic_delivers = test::WaitUntil([&] {
    other_basic.put(zenoh_msgs::Encode(Basic({4})));
    return fresh.stream.GetGroups(true) == GroupNames{{JointGroup::ARM_2, "ARM_2"}};
  });
  EXPECT_TRUE(new_basic_delivers) << "the new basic subscriber waited for the old extra one";
  other_extra.put(zenoh_msgs::Encode(Extra({5})));
  EXPECT_EQ(hold.MostAtOnce(), 1) << "the new extra subscriber took a sample while the old one held one";
  hold.Release();
  starter.join();
  held.join();
  ASSERT_TRUE(started.has_value());
  EXPECT_EQ(started->value, 100000);
  EXPECT_EQ(fresh.stream.GetGroups(false), (GroupNames{{JointGroup::ARM_1, "ARM_1"}})) << "the held sample was kept";
  other_extra.put(zenoh_msgs::Encode(Extra({5})));
  EXPECT_EQ(fresh.stream.GetGroups(false), (GroupNames{{JointGroup::EXT_AXIS, "EXT_AXIS"}}));
  fresh.Feed(Basic({2}));
  fresh.Feed(Extra({2}));
  EXPECT_EQ(fresh.stream.GetGroups(true), (GroupNames{{JointGroup::ARM_2, "ARM_2"}}))
      << "the old key expression still delivers";
  EXPECT_EQ(fresh.stream.GetGroups(false), (GroupNames{{JointGroup::EXT_AXIS, "EXT_AXIS"}}));
}

// A start whose declaration fails leaves the earlier subscribers delivering.
TEST_F(DataStreamTest, AStartThatCannotDeclareKeepsTheEarlierSubscribers) {
  EXPECT_THROW(stream_.Start(session_, "BAD*SERIAL"), zenoh::ZException);
  Feed(Basic({4}));
  Feed(Extra({5}));
  EXPECT_EQ(stream_.GetGroups(true), (GroupNames{{JointGroup::ARM_2, "ARM_2"}}));
  EXPECT_EQ(stream_.GetGroups(false), (GroupNames{{JointGroup::EXT_AXIS, "EXT_AXIS"}}));
}

// A sample the decoder refuses is dropped without a word; the one before
// stays the latest until a good one follows.
TEST_F(DataStreamTest, AMalformedSampleBetweenGoodOnesLeavesThePreviousOneSilently) {
  BasicData good = Basic({3, 4});
  good.status.estop_released = true;
  Feed(good);
  const std::vector<std::uint8_t> encoded = zenoh_msgs::Encode(Basic({3, 4}));
  std::vector<std::vector<std::uint8_t>> malformed = {{encoded.begin(), encoded.end() - 1}, encoded, encoded};
  malformed[1].push_back(0);
  malformed[2][4] = 2;  // estop_released, neither 0 nor 1
  test::LogCapture log;
  for (const auto& payload : malformed) {
    basic_->put(payload);
    EXPECT_TRUE(stream_.IsEstopReleased());
    const auto states = stream_.GetStates(kGroups, kStarts, kDofs);
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states.at(JointGroup::ARM_2).q, Slice(0, 7, 7));
    EXPECT_EQ(states.at(JointGroup::ARM_2).flange_pose[0], 2010.0);
  }
  EXPECT_TRUE(log.Lines().empty());
  Feed(Basic({3}));
  EXPECT_FALSE(stream_.IsEstopReleased()) << "the next good sample is taken";
}

// Sample k carries time stamp k and, in every value a query reads, the
// fraction (k % 64) / 128; its I/O holds k's low 20 bits as inputs, their
// complement as outputs, and k's parity and its opposite as the two safety
// inputs. A query that mixes two samples, or goes back to an older one,
// shows it.
TEST_F(DataStreamTest, QueriesSeeWholeSamplesThatNeverGoBackInTime) {
  const auto fraction = [](std::int32_t stamp) { return static_cast<float>(stamp % 64) / 128.0f; };
  const auto io_of = [](std::int32_t stamp) {
    RobotIo io;
    io.timestamp = {stamp, -1};
    io.estop_released = (stamp & 1) != 0;
    io.enabling_device_on = (stamp & 1) == 0;
    for (std::size_t bit = 0; bit < 20; ++bit) {
      io.digital_inputs[bit] = ((stamp >> bit) & 1) != 0;
      io.digital_outputs[bit] = !io.digital_inputs[bit];
    }
    return io;
  };
  const auto same_io = [](const RobotIo& a, const RobotIo& b) {
    return std::tie(a.timestamp, a.estop_released, a.enabling_device_on, a.digital_inputs, a.digital_outputs) ==
           std::tie(b.timestamp, b.estop_released, b.enabling_device_on, b.digital_inputs, b.digital_outputs);
  };
  const auto sample = [&fraction, &io_of](std::int32_t stamp) {
    BasicData m = Basic({3, 4});
    for (auto* field : {&m.joint_data.q, &m.joint_data.temperature}) {
      for (float& value : *field) value += fraction(stamp);
    }
    for (auto& c : m.cartesian_data) c.flange_pose[0] += fraction(stamp);
    const RobotIo io = io_of(stamp);
    m.status.estop_released = io.estop_released;
    m.status.enabling_device_on = io.enabling_device_on;
    m.status.digital_inputs = io.digital_inputs;
    m.status.digital_outputs = io.digital_outputs;
    m.timestamp_first = stamp;
    return zenoh_msgs::Encode(m);
  };
  basic_->put(sample(0));
  std::atomic<bool> querying_done{false};
  std::thread publisher([&] {
    for (std::int32_t stamp = 1; !querying_done.load(); ++stamp) basic_->put(sample(stamp));
  });
  // Queries until they have seen many distinct samples, which proves that
  // they overlapped the publishing; the deadline only bounds a broken stream.
  constexpr int kChangesWanted = 200;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::int32_t last = 0;
  int changes = 0;
  bool whole = true;
  bool whole_io = true;
  bool forward = true;
  while (changes < kChangesWanted && whole && whole_io && forward && std::chrono::steady_clock::now() < deadline) {
    const RobotIo io = stream_.GetIo();
    whole_io = same_io(io, io_of(io.timestamp.first));
    const auto states = stream_.GetStates(kGroups, kStarts, kDofs);
    whole = states.size() == 3;
    if (!whole) break;
    const std::int32_t stamp = states.begin()->second.timestamp.first;
    const double f = fraction(stamp);
    for (const auto& [group, s] : states) {
      whole = whole && s.timestamp.first == stamp && s.q.front() == 100.0 * 0 + kStarts.at(group) + f &&
              s.temperature.back() == 100.0 * 8 + kStarts.at(group) + kDofs.at(group) - 1 + f &&
              (group == JointGroup::EXT_AXIS || s.flange_pose[0] - std::floor(s.flange_pose[0]) == f);
    }
    forward = stamp >= last && stamp >= io.timestamp.first;
    if (stamp != last) ++changes;
    last = stamp;
  }
  querying_done = true;
  publisher.join();
  EXPECT_TRUE(whole) << "a query mixed two samples at stamp " << last;
  EXPECT_TRUE(whole_io) << "a read of the I/O mixed two samples after stamp " << last;
  EXPECT_TRUE(forward) << "a query went back in time after stamp " << last;
  EXPECT_EQ(changes, kChangesWanted) << "queries and samples did not overlap";
}

}  // namespace
}  // namespace velmor::qrk_impl
