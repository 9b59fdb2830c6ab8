// The receive path's cost per sample in instructions, for callgrind
// (scripts/bench runs it as `valgrind --tool=callgrind
// --toggle-collect=*deliver_sample* receive_cost`, so that only what runs
// inside the bridge's delivery of a sample is counted, and reads the dumps).
//
// A put on the session reaches a subscriber of the same session on the
// putting thread, without a network. For one robot size at a time, prepared
// payloads of both streams are replayed to three receivers on keys of their
// own:
//   count  a callback that only counts the sample;
//   copy   one that copies the payload into a buffer it reuses;
//   ours   the client's DataStream (taking the sample, then the hand-over),
//          exactly as a client runs it.
// Each phase warms up first, then zeroes callgrind's counters, replays the
// given number of payloads (default 1000) and dumps the counters under the
// phase's name ("<receiver> <stream> <joints>"). Outside callgrind the
// requests do nothing, and the program only checks that every receiver took
// the samples inside the puts.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "middleware/zenoh/subscriber.hpp"
#include "services/data_stream.hpp"
#include "support/netns_guard.hpp"
#include "support/robot_messages.hpp"

namespace {

namespace zenoh = velmor::zenoh;
namespace msg = velmor::zenoh_msgs::qrk_msg;
using Payload = std::vector<std::uint8_t>;

constexpr std::size_t kDistinctPayloads = 32;
constexpr std::size_t kWarmUp = 200;

struct RobotSize {
  std::size_t joints;
  std::vector<std::uint16_t> groups;
};

// Every value differs from sample to sample, as a moving robot's do.
Payload BasicPayload(const RobotSize& size, std::size_t sample) {
  return velmor::zenoh_msgs::Encode(velmor::test::RobotBasic(size.joints, size.groups, static_cast<int>(sample)));
}

Payload ExtraPayload(const RobotSize& size, std::size_t sample) {
  return velmor::zenoh_msgs::Encode(velmor::test::RobotExtra(size.joints, size.groups, static_cast<int>(sample)));
}

template <class Make>
std::vector<Payload> Prepare(const RobotSize& size, Make make) {
  std::vector<Payload> payloads;
  for (std::size_t i = 0; i < kDistinctPayloads; ++i) payloads.push_back(make(size, i));
  return payloads;
}

// One receiver's key, and whether it holds the last of the payloads put.
struct Phase {
  std::string receiver;
  std::string stream;
  std::string key;
  std::function<bool(const Payload& last)> holds;
};

bool Replay(const zenoh::Session& session, const Phase& phase, const std::vector<Payload>& payloads,
            std::size_t samples, std::size_t joints) {
  const zenoh::Publisher publisher(session, zenoh::KeyExpr(phase.key));
  for (std::size_t i = 0; i < kWarmUp; ++i) publisher.put(payloads[i % payloads.size()]);
  CALLGRIND_ZERO_STATS;
  for (std::size_t i = 0; i < samples; ++i) publisher.put(payloads[i % payloads.size()]);
  const std::string name = phase.receiver + " " + phase.stream + " " + std::to_string(joints);
  CALLGRIND_DUMP_STATS_AT(name.c_str());
  if (!phase.holds(payloads[(samples - 1) % payloads.size()])) {
    std::fprintf(stderr, "receive_cost: %s did not take the last sample inside put\n", name.c_str());
    return false;
  }
  std::printf("%s: %zu bytes per sample, %zu samples\n", name.c_str(), payloads.front().size(), samples);
  return true;
}

// A query that sees the last sample: joint 0 as a one-joint group.
constexpr velmor::qrk::JointGroup kJoint0 = velmor::qrk::JointGroup::ARM_1;
struct FirstJoint {
  velmor::qrk_impl::GroupNames groups{{kJoint0, "ARM_1"}};
  velmor::qrk_impl::StartIds starts{{kJoint0, 0}};
  velmor::qrk_impl::Dofs dofs{{kJoint0, 1}};
};

bool MeasureSize(const std::shared_ptr<zenoh::Session>& session, const RobotSize& size, std::size_t samples) {
  const std::vector<Payload> basic = Prepare(size, BasicPayload);
  const std::vector<Payload> extra = Prepare(size, ExtraPayload);
  const std::string tag = std::to_string(size.joints);

  std::size_t counted = 0;
  const zenoh::Subscriber count(*session, zenoh::KeyExpr("bench/receive_cost/count/" + tag),
                                [&counted](zenoh::ByteView) { ++counted; });
  Payload buffer;
  const zenoh::Subscriber copy(
      *session, zenoh::KeyExpr("bench/receive_cost/copy/" + tag),
      [&buffer](zenoh::ByteView payload) { buffer.assign(payload.data, payload.data + payload.size); });
  velmor::qrk_impl::DataStream ours;
  const std::string serial = "COST-" + tag;
  ours.Start(session, serial);
  const FirstJoint view;
  using velmor::zenoh_mdw::RobotKey;

  const std::size_t puts = kWarmUp + samples;
  const auto counted_all = [&counted, puts](const Payload&) { return std::exchange(counted, 0) == puts; };
  const auto copied_last = [&buffer](const Payload& last) { return buffer == last; };
  const auto stream_holds_basic = [&](const Payload& last) {
    const auto states = ours.GetStates(view.groups, view.starts, view.dofs);
    const auto expected = velmor::zenoh_msgs::Decode<msg::AllBasicStreamData>(last);
    return states.count(kJoint0) != 0 && states.at(kJoint0).timestamp.first == expected.timestamp_first;
  };
  const auto stream_holds_extra = [&](const Payload& last) {
    const auto actions = ours.GetActions(view.groups, view.starts, view.dofs);
    const auto expected = velmor::zenoh_msgs::Decode<msg::AllExtraStreamData>(last);
    return actions.count(kJoint0) != 0 && actions.at(kJoint0).q_d.at(0) == expected.joint_data.q_d.at(0);
  };
  const std::vector<std::pair<Phase, const std::vector<Payload>*>> phases{
      {{"count", "basic", "bench/receive_cost/count/" + tag, counted_all}, &basic},
      {{"copy", "basic", "bench/receive_cost/copy/" + tag, copied_last}, &basic},
      {{"ours", "basic", RobotKey(serial, velmor::zenoh_mdw::kBasicStreamSuffix), stream_holds_basic}, &basic},
      {{"count", "extra", "bench/receive_cost/count/" + tag, counted_all}, &extra},
      {{"copy", "extra", "bench/receive_cost/copy/" + tag, copied_last}, &extra},
      {{"ours", "extra", RobotKey(serial, velmor::zenoh_mdw::kExtraStreamSuffix), stream_holds_extra}, &extra},
  };
  for (const auto& [phase, payloads] : phases) {
    if (!Replay(*session, phase, *payloads, samples, size.joints)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (velmor::test::RefuseOutsideIsolation("Benchmarks")) return 2;
  const std::size_t samples = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
  const auto session = velmor::zenoh_mdw::SharedSession();
  const std::vector<RobotSize> sizes{{16, {2, 3, 4, 5}}, {64, {0, 2, 3, 4, 5, 2, 3, 4}}};
  for (const RobotSize& size : sizes) {
    if (!MeasureSize(session, size, samples)) return 1;
  }
  return 0;
}
