#include "services/latest_sample.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#include "messages/stream_codec.hpp"
#include "messages/stream_samples.hpp"

namespace velmor::qrk_impl {
namespace {

// Every word holds the stamp, so that a sample read while it is written
// shows as words that differ.
struct Stamped {
  std::array<std::int64_t, 64> words{};
  void Fill(std::int64_t stamp) { words.fill(stamp); }
  bool Whole() const {
    return std::all_of(words.begin(), words.end(), [this](std::int64_t w) { return w == words[0]; });
  }
};

TEST(LatestSampleTest, TheLatestWinsAndAReadersSampleIsNeverWritten) {
  LatestSample<Stamped> latest;
  EXPECT_EQ(latest.Read().words[0], 0) << "a default sample before any";
  for (std::int64_t stamp = 1; stamp <= 3; ++stamp) {
    latest.Back().Fill(stamp);
    latest.Publish();
  }
  const Stamped& held = latest.Read();
  EXPECT_EQ(held.words[0], 3) << "samples published unread are replaced";
  for (std::int64_t stamp = 4; stamp <= 9; ++stamp) {
    latest.Back().Fill(stamp);
    latest.Publish();
  }
  EXPECT_EQ(held.words[0], 3) << "the receiver filled the reader's sample";
  EXPECT_EQ(latest.Read().words[0], 9);
  EXPECT_EQ(latest.Read().words[0], 9) << "a second read without a publish keeps it";
}

TEST(LatestSampleTest, AReaderNeverGoesBackWhileAnotherThreadPublishes) {
  LatestSample<Stamped> latest;
  std::atomic<bool> reading_done{false};
  std::thread receiver([&] {
    for (std::int64_t stamp = 1; !reading_done.load(); ++stamp) {
      latest.Back().Fill(stamp);
      latest.Publish();
    }
  });
  // Reads until it has seen many distinct samples, which proves reads and
  // writes overlapped; the deadline only bounds a broken hand-over.
  constexpr int kChangesWanted = 2000;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::int64_t last = 0;
  int changes = 0;
  bool whole = true;
  bool forward = true;
  while (changes < kChangesWanted && whole && forward && std::chrono::steady_clock::now() < deadline) {
    const Stamped& sample = latest.Read();
    whole = sample.Whole();
    forward = sample.words[0] >= last;
    if (sample.words[0] != last) ++changes;
    last = sample.words[0];
  }
  reading_done = true;
  receiver.join();
  EXPECT_TRUE(whole) << "a read saw a sample being written";
  EXPECT_TRUE(forward) << "a read went back in time after " << last;
  EXPECT_EQ(changes, kChangesWanted) << "reads and writes did not overlap";
}

// The receiver takes each payload into Back() and publishes only what it
// took: a refused payload leaves the readers' sample and the next one intact.
TEST(LatestSampleTest, NothingIsPublishedAfterARefusedPayload) {
  using zenoh_msgs::BasicSample;
  zenoh_msgs::qrk_msg::AllBasicStreamData message;
  message.timestamp_first = 1;
  const std::vector<std::uint8_t> first = zenoh_msgs::Encode(message);
  message.timestamp_first = 2;
  const std::vector<std::uint8_t> second = zenoh_msgs::Encode(message);
  const std::vector<std::uint8_t> refused(second.begin(), second.end() - 1);

  LatestSample<BasicSample> latest;
  latest.Back().Assign(first.data(), first.size());
  latest.Publish();
  EXPECT_THROW(latest.Back().Assign(refused.data(), refused.size()), zenoh::ZException);
  EXPECT_EQ(zenoh_msgs::Timestamps(latest.Read()).first, 1);
  latest.Back().Assign(second.data(), second.size());
  EXPECT_EQ(zenoh_msgs::Timestamps(latest.Read()).first, 1) << "taken but not yet published";
  latest.Publish();
  EXPECT_EQ(latest.Read().bytes(), second);
}

// One outsized sample must not pin its size in the three samples for the
// client's life: normal ones following it through the hand-over give its
// storage back, and from then on each sample reuses its own.
TEST(LatestSampleTest, ALargeSampleLeavesNoStorageBehindOnceNormalOnesFollow) {
  using zenoh_msgs::BasicSample;
  zenoh_msgs::qrk_msg::AllBasicStreamData message;
  message.joint_data.q.assign(std::size_t{1} << 20, 1.0f);
  const std::vector<std::uint8_t> large = zenoh_msgs::Encode(message);
  message.joint_data.q.assign(16, 1.0f);

  LatestSample<BasicSample> latest;
  // Takes a payload through the hand-over and notes where each of the three
  // samples seen (the reader's and the receiver's) keeps its bytes.
  std::map<const BasicSample*, const std::uint8_t*> storage;
  std::size_t most_kept = 0;
  const auto take = [&](const std::vector<std::uint8_t>& payload) {
    latest.Back().Assign(payload.data(), payload.size());
    latest.Publish();
    for (const BasicSample* sample : {&latest.Read(), static_cast<const BasicSample*>(&latest.Back())}) {
      storage[sample] = sample->bytes().data();
      most_kept = std::max(most_kept, sample->bytes().capacity());
    }
  };
  take(large);
  ASSERT_GE(most_kept, large.size());
  for (std::int32_t stamp = 1; stamp <= 3; ++stamp) {
    message.timestamp_first = stamp;
    take(zenoh_msgs::Encode(message));
  }
  storage.clear();
  most_kept = 0;
  for (std::int32_t stamp = 4; stamp <= 6; ++stamp) {
    message.timestamp_first = stamp;
    take(zenoh_msgs::Encode(message));
  }
  ASSERT_EQ(storage.size(), 3u) << "the three samples took turns";
  EXPECT_LT(most_kept, std::size_t{64} * 1024) << "a sample still keeps the large one's storage";

  const auto settled = storage;
  for (std::int32_t stamp = 7; stamp <= 12; ++stamp) {
    message.timestamp_first = stamp;
    take(zenoh_msgs::Encode(message));
  }
  EXPECT_EQ(storage, settled) << "samples of one size reallocated their storage";
  EXPECT_EQ(zenoh_msgs::Timestamps(latest.Read()).first, 12);
}

}  // namespace
}  // namespace velmor::qrk_impl
