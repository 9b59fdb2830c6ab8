// The snapshot ring: the window before an event and the span after it handed
// out once, in order; events close together in one snapshot; the byte cap
// holding whatever the rate; samples coming back as the messages they were.
#include "cli/recorder/snapshot_ring.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/test_robot.hpp"

namespace velmor::cli {
namespace {

using Labels = std::vector<std::string>;

// Both streams at 1 kHz: a basic and an extra sample each millisecond, each
// numbered in its stream and carrying that number as its only byte.
struct Streams {
  double time = 100.0;
  std::uint64_t sample = 0;
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(1);
  // How long before its basic sample each extra one was received: its
  // writer runs behind by that much.
  double extra_behind = 0.0;

  void Run(SnapshotRing& ring, double seconds) {
    const double end = time + seconds;
    while (time < end - 1e-9) {
      time += 0.001;
      bytes[0] = static_cast<std::uint8_t>(sample);
      ring.Take(StreamKind::kBasic, {sample, time, {}}, bytes);
      ring.Take(StreamKind::kExtra, {sample, time - extra_behind, {}}, bytes);
      ++sample;
    }
  }
};

struct Drained {
  std::vector<std::shared_ptr<const KeptSample>> samples;
  Labels labels;
  std::uint64_t lost = 0;
  bool finished = false;
};

Drained DrainAll(SnapshotRing& ring, Drained so_far = {}) {
  while (auto part = ring.Drain()) {
    so_far.samples.insert(so_far.samples.end(), part->samples.begin(), part->samples.end());
    so_far.labels = part->labels;
    so_far.lost += part->lost;
    if ((so_far.finished = part->finished)) break;
  }
  return so_far;
}

// Every sample once, both streams, consecutive numbers from `first` to `last`,
// each with its bytes still whole though the ring has moved on past it.
void ExpectUnbroken(const Drained& drained, double first, double last) {
  ASSERT_FALSE(drained.samples.empty());
  for (const auto& sample : drained.samples) {
    ASSERT_EQ(sample->bytes, std::vector<std::uint8_t>{static_cast<std::uint8_t>(sample->stamp.sample)})
        << "sample " << sample->stamp.sample;
  }
  EXPECT_NEAR(drained.samples.front()->stamp.receive_time, first, 0.0015);
  EXPECT_NEAR(drained.samples.back()->stamp.receive_time, last, 0.0015);
  for (std::size_t i = 1; i < drained.samples.size(); ++i) {
    const KeptSample& before = *drained.samples[i - 1];
    const KeptSample& now = *drained.samples[i];
    const bool same_sample = before.stream == StreamKind::kBasic && now.stream == StreamKind::kExtra &&
                             now.stamp.sample == before.stamp.sample;
    const bool next_sample = before.stream == StreamKind::kExtra && now.stream == StreamKind::kBasic &&
                             now.stamp.sample == before.stamp.sample + 1;
    ASSERT_TRUE(same_sample || next_sample) << "after sample " << before.stamp.sample;
  }
}

TEST(SnapshotRing, HandsOutTheWindowBeforeAnEventAndTheSpanAfterOnce) {
  SnapshotRing ring(1.0, 0.5);
  Streams streams;
  streams.Run(ring, 3.0);
  EXPECT_FALSE(ring.Drain());  // no event, no snapshot
  const double event = streams.time;
  ring.Trigger("estop", event);
  Drained drained = DrainAll(ring);
  EXPECT_FALSE(drained.finished);
  EXPECT_EQ(drained.labels, Labels{"estop"});
  streams.Run(ring, 0.2);
  drained = DrainAll(ring, drained);
  EXPECT_FALSE(drained.finished);
  streams.Run(ring, 2.0);  // well past the span
  drained = DrainAll(ring, drained);
  EXPECT_TRUE(drained.finished);
  EXPECT_EQ(drained.lost, 0u);
  ExpectUnbroken(drained, event - 1.0, event + 0.5);
  EXPECT_FALSE(ring.Drain());

  // Meanwhile the ring went back to holding PRE seconds, and 0.1 s for a
  // stream's writer that runs behind.
  EXPECT_NEAR(ring.Measure().span, 1.1, 0.002);

  // With either stream's writer behind the other (the one that shows the
  // event or the other), each stream's samples received in the span are
  // handed out, and none received outside it.
  for (const double extra_behind : {0.0045, -0.0045}) {
    SnapshotRing behind(1.0, 0.5);
    Streams late;
    late.extra_behind = extra_behind;
    late.Run(behind, 3.0);
    const double at = late.time;
    behind.Trigger("estop", at);
    late.Run(behind, 1.0);
    const Drained both = DrainAll(behind);
    ASSERT_TRUE(both.finished);
    std::size_t basic = 0;
    for (const auto& sample : both.samples) {
      EXPECT_GE(sample->stamp.receive_time, at - 1.0 - 1e-9);
      EXPECT_LE(sample->stamp.receive_time, at + 0.5 + 1e-9);
      basic += sample->stream == StreamKind::kBasic;
    }
    // 1.5 s at 1 kHz, give or take the sample at either end.
    EXPECT_NEAR(static_cast<double>(basic), 1500.0, 1.0) << extra_behind;
    EXPECT_NEAR(static_cast<double>(both.samples.size() - basic), 1500.0, 1.0) << extra_behind;
  }
}

TEST(SnapshotRing, EventsInsideASpanMakeOneSnapshotNamingEachOnce) {
  SnapshotRing ring(1.0, 0.5);
  Streams streams;
  streams.Run(ring, 2.0);
  const double start = streams.time;
  ring.Trigger("estop", start);
  streams.Run(ring, 0.4);
  ring.Trigger("di3-rising", streams.time);  // inside: the span now ends 0.5 s after this
  streams.Run(ring, 0.3);
  ring.Trigger("estop", streams.time);
  const double end = streams.time + 0.5;
  streams.Run(ring, 0.4);
  Drained one = DrainAll(ring);
  EXPECT_FALSE(one.finished);  // the last event's span is not over yet
  streams.Run(ring, 0.6);
  ring.Trigger("enabling", streams.time);  // after the span: a snapshot of its own
  streams.Run(ring, 1.0);
  one = DrainAll(ring, one);
  EXPECT_TRUE(one.finished);
  EXPECT_EQ(one.labels, (Labels{"estop", "di3-rising"}));
  ExpectUnbroken(one, start - 1.0, end);
  const Drained two = DrainAll(ring);
  EXPECT_TRUE(two.finished);
  EXPECT_EQ(two.labels, Labels{"enabling"});

  // Close ends what is open with what it has, for a recording that stops.
  SnapshotRing closing(1.0, 0.5);
  Streams other;
  other.Run(closing, 2.0);
  closing.Trigger("mark", other.time);
  other.Run(closing, 0.1);
  closing.Close();
  const Drained closed = DrainAll(closing);
  EXPECT_TRUE(closed.finished);
  ExpectUnbroken(closed, other.time - 1.1, other.time);
}

TEST(SnapshotRing, TheByteCapHoldsAndCountsWhatASnapshotLost) {
  constexpr std::uint64_t kCap = 100'000;
  SnapshotRing ring(10.0, 5.0, kCap);
  Streams streams;
  streams.Run(ring, 2.0);
  const auto figures = ring.Measure();
  EXPECT_LE(figures.bytes, kCap);
  EXPECT_GT(figures.bytes, kCap * 9 / 10);
  EXPECT_LT(figures.span, 2.0);
  EXPECT_GT(figures.evicted_early, 0u);

  // A snapshot nobody drains does not lift the cap: its samples are lost.
  ring.Trigger("estop", streams.time);
  streams.Run(ring, 2.0);
  EXPECT_LE(ring.Measure().bytes, kCap);
  const Drained drained = DrainAll(ring);
  EXPECT_GT(drained.lost, 0u);
  EXPECT_GT(drained.lost + drained.samples.size(), 4000u);  // every sample of the span, handed out or counted
}

// The bytes kept are the messages' own: rebuilt, they are what the
// pipeline held, ready for the same sinks.
TEST(SnapshotRing, KeepsWireBytesThatRebuildTheMessagesAndMeasuresAFiveGroupWindow) {
  namespace msg = zenoh_msgs::qrk_msg;
  const test::Robot robot;
  SnapshotRing ring(1.0, 0.0);
  ring.Take(StreamKind::kBasic, {7, 1.0, {12, 34}}, robot.Basic().bytes());
  ring.Take(StreamKind::kExtra, {7, 1.0, {12, 34}}, robot.Extra().bytes());
  ring.Trigger("mark", 1.0);
  ring.Close();
  const Drained drained = DrainAll(ring);
  ASSERT_EQ(drained.samples.size(), 2u);
  EXPECT_EQ(Rebuild<qrk_impl::BasicStreamData>(*drained.samples[0]).bytes(), robot.Basic().bytes());
  EXPECT_EQ(Rebuild<qrk_impl::ExtraStreamData>(*drained.samples[1]).bytes(), robot.Extra().bytes());
  EXPECT_EQ(drained.samples[0]->stamp.timestamp, (std::pair<std::int32_t, std::int32_t>{12, 34}));

  // A five-group, 16-joint robot (qrk-sim's default) at 1 kHz.
  msg::AllBasicStreamData basic;
  msg::AllExtraStreamData extra;
  for (auto* joints :
       {&basic.joint_data.q, &basic.joint_data.theta, &basic.joint_data.dq, &basic.joint_data.dtheta,
        &basic.joint_data.tau, &basic.joint_data.tau_dot, &basic.joint_data.tau_ext, &basic.joint_data.tau_interact,
        &basic.joint_data.temperature, &extra.joint_data.q_d, &extra.joint_data.dq_d, &extra.joint_data.tau_d}) {
    joints->assign(16, 1.5f);
  }
  basic.joint_data.aux_vec3_a.assign(16, {});
  basic.joint_data.aux_vec3_b.assign(16, {});
  basic.group_indices = extra.group_indices = {0, 2, 3, 4, 5};
  basic.cartesian_data.resize(5);
  extra.cartesian_data.resize(5);
  const auto basic_bytes = qrk_impl::BasicStreamData::Of(basic).bytes();
  const auto extra_bytes = qrk_impl::ExtraStreamData::Of(extra).bytes();
  SnapshotRing window(2.0, 0.0);
  for (int i = 0; i < 3000; ++i) {
    window.Take(StreamKind::kBasic, {0, 0.001 * i, {}}, basic_bytes);
    window.Take(StreamKind::kExtra, {0, 0.001 * i, {}}, extra_bytes);
  }
  const auto figures = window.Measure();
  const double per_second = static_cast<double>(figures.bytes) / figures.span;
  std::printf(
      "snapshot window, five groups at 1 kHz: basic %zu + extra %zu wire bytes per sample, %.2f MB per "
      "second of window, %.0f MB for 30 s (cap %.0f MB)\n",
      basic_bytes.size(), extra_bytes.size(), per_second / 1e6, 30 * per_second / 1e6,
      SnapshotRing::kDefaultMaxBytes / 1e6);
  EXPECT_LT(30 * per_second, SnapshotRing::kDefaultMaxBytes);
}

}  // namespace
}  // namespace velmor::cli
