// Long runs of one client against qrk-sim streaming at 1 kHz, polled at
// 1 kHz: resident memory stays flat after warm-up, nothing is logged at error
// level, and every sample decodes; with garbage interleaved on both streams,
// the client keeps serving the last good sample. Durations come from
// VELMOR_SOAK_SECONDS (default 20) and VELMOR_GARBAGE_SECONDS (default 10).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "endurance/endurance_support.hpp"
#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/subscriber.hpp"
#include "support/hex.hpp"
#include "support/log_capture.hpp"
#include "support/wait.hpp"

namespace velmor::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace msg = zenoh_msgs::qrk_msg;
namespace mdw = zenoh_mdw;

constexpr long kMaxGrowth = 1L << 20;  // bytes of resident memory after warm-up

// Counts what the client's own session delivers on both stream keys and
// decodes it with the client's decoder: zenoh hands each sample to every
// matching subscriber of the session, so these are the client's samples.
class DecodeTally {
 public:
  explicit DecodeTally(const std::string& serial)
      : basic_(*session_, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix)),
               [this](zenoh::ByteView p) { Count<msg::AllBasicStreamData>(p, basic_good_); }),
        extra_(*session_, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kExtraStreamSuffix)),
               [this](zenoh::ByteView p) { Count<msg::AllExtraStreamData>(p, extra_good_); }) {}

  long basic_good() const { return Read(basic_good_); }
  long extra_good() const { return Read(extra_good_); }
  long bad() const { return Read(bad_); }

 private:
  template <class Message>
  void Count(zenoh::ByteView payload, long& good) {
    bool decoded = true;
    try {
      zenoh_msgs::Decode<Message>(payload.data, payload.size);
    } catch (const std::exception&) {
      decoded = false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++(decoded ? good : bad_);
  }
  long Read(const long& counter) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counter;
  }

  mutable std::mutex mutex_;
  long basic_good_ = 0, extra_good_ = 0, bad_ = 0;
  std::shared_ptr<zenoh::Session> session_ = mdw::SharedSession();
  zenoh::Subscriber basic_;
  zenoh::Subscriber extra_;
};

// Polls states() and actions() at 1 kHz for `seconds`, failing on the first
// inconsistent or empty result or a time stamp going backwards. Samples the
// resident size once a second; returns the largest growth over the size at
// the end of the warm-up (the first quarter, at least 2 s).
long PollAndMeasureGrowth(const qrk::Client& client, double seconds) {
  const auto start = Clock::now();
  const auto warm_up =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(2.0, seconds / 4)));
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  long baseline = -1, peak = 0;
  auto next_sample = start;
  auto next_poll = start;
  std::pair<std::int32_t, std::int32_t> last_stamp{0, 0};
  while (Clock::now() < end) {
    std::this_thread::sleep_until(next_poll);
    next_poll += 1ms;
    const auto states = client.states();
    const auto actions = client.actions();
    const std::string bad_states = StatesInconsistency(states);
    const std::string bad_actions = ActionsInconsistency(actions);
    if (!bad_states.empty() || !bad_actions.empty()) {
      ADD_FAILURE() << "states: " << bad_states << "; actions: " << bad_actions;
      return 0;
    }
    // qrk-sim's time stamp: (whole seconds, sample number); both only grow.
    const auto stamp = states.begin()->second.timestamp;
    if (stamp < last_stamp) {
      ADD_FAILURE() << "time stamp went back from " << last_stamp.second << " to " << stamp.second;
      return 0;
    }
    last_stamp = stamp;
    const auto now = Clock::now();
    if (now >= next_sample) {
      next_sample += 1s;
      if (now >= warm_up) {
        if (baseline < 0) baseline = ResidentBytes();
        peak = std::max(peak, ResidentBytes() - baseline);
      }
    }
  }
  return peak;
}

TEST(Soak, MemoryStaysFlatAndEverySampleDecodesAtOneKilohertz) {
  const double seconds = static_cast<double>(EnvCount("VELMOR_SOAK_SECONDS", 20));
  SimProcess robot("SOAK-1", {"--rate", "1000"}, seconds + 120);
  ASSERT_TRUE(robot.ready());
  Watchdog watchdog("the soak", std::chrono::seconds(static_cast<long>(seconds) + 120));
  auto client = ConnectWithin("SOAK-1", false);
  DecodeTally tally("SOAK-1");
  LogCapture log;
  const long growth = PollAndMeasureGrowth(*client, seconds);

  EXPECT_EQ(log.CountAt(spdlog::level::err), 0) << log.TextsAt(spdlog::level::err).front();
  EXPECT_EQ(tally.bad(), 0);
  // Zenoh may drop a sample under congestion, so this is a floor, not equality.
  EXPECT_GT(tally.basic_good(), static_cast<long>(seconds * 900));
  EXPECT_GT(tally.extra_good(), static_cast<long>(seconds * 900));
  std::printf(
      "soak: %.0f s, %ld basic and %ld extra samples decoded, resident %ld KiB, growth after warm-up %ld "
      "bytes\n",
      seconds, tally.basic_good(), tally.extra_good(), ResidentBytes() / 1024, growth);
  if (!kSanitized) {
    EXPECT_LT(growth, kMaxGrowth);
  }
}

// A truncated copy of a well-formed basic message: every field but the last
// bytes of the time stamp.
std::string TruncatedBasicHex() {
  msg::AllBasicStreamData message;
  message.group_indices = {0, 2, 3, 4, 5};
  message.joint_data.q.assign(16, 0.25f);
  message.cartesian_data.resize(5);
  message.timestamp_first = 99999;
  auto bytes = zenoh_msgs::Encode(message);
  bytes.resize(bytes.size() - 3);
  return ToHex(bytes);
}

TEST(Soak, GarbageInterleavedWithGoodSamplesNeverReplacesTheLastGoodOne) {
  const double seconds = static_cast<double>(EnvCount("VELMOR_GARBAGE_SECONDS", 10));
  // qrk-sim interleaves cut, overlong and junk payloads with its good ones;
  // two more processes publish truncated and junk payloads on the same keys.
  SimProcess robot("GARBAGE-1", {"--rate", "1000", "--garbage-rate", "1000"}, seconds + 120);
  ASSERT_TRUE(robot.ready());
  const std::string count = std::to_string(static_cast<long>(seconds + 30) * 1000);
  ChildProcess truncated(OnPeerHost(
      {TestPeerPath(), "publish", "velmor/robot/GARBAGE-1/basic_stream_data", TruncatedBasicHex(), "1", count}));
  ChildProcess junk(OnPeerHost(
      {TestPeerPath(), "publish", "velmor/robot/GARBAGE-1/extra_stream_data", std::string(400, 'f'), "1", count}));
  ASSERT_EQ(truncated.ReadLine(20s), std::optional<std::string>("ready"));
  ASSERT_EQ(junk.ReadLine(20s), std::optional<std::string>("ready"));
  Watchdog watchdog("the garbage run", std::chrono::seconds(static_cast<long>(seconds) + 120));
  auto client = ConnectWithin("GARBAGE-1", false);
  LogCapture log;
  const long growth = PollAndMeasureGrowth(*client, seconds);
  EXPECT_EQ(log.CountAt(spdlog::level::err), 0);
  if (!kSanitized) {
    EXPECT_LT(growth, kMaxGrowth);
  }

  // With the robot gone and only garbage arriving, the last good sample stays.
  ASSERT_TRUE(robot.Stop());
  std::this_thread::sleep_for(100ms);
  const auto last_states = client->states();
  const auto last_actions = client->actions();
  ASSERT_EQ(StatesInconsistency(last_states), "");
  const auto until = Clock::now() + 1s;
  while (Clock::now() < until) {
    const auto states = client->states();
    ASSERT_EQ(states.size(), last_states.size());
    EXPECT_EQ(states.begin()->second.timestamp, last_states.begin()->second.timestamp);
    EXPECT_EQ(states.at(qrk::JointGroup::ALL).q, last_states.at(qrk::JointGroup::ALL).q);
    EXPECT_EQ(client->actions().at(qrk::JointGroup::ALL).q_d, last_actions.at(qrk::JointGroup::ALL).q_d);
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(log.CountAt(spdlog::level::err), 0);
}

}  // namespace
}  // namespace velmor::test
