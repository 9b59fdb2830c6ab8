// A recording in pieces, written by both streams' writer threads while the
// recording's thread switches pieces under them: every sample lands in
// exactly one piece, each piece is complete and counts what it holds, and
// the basic stream's breaks are described in the piece they end in.
#include "cli/recorder/series_output.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/recorder/recording.hpp"
#include "cli/temporary_directory.hpp"
#include "cli/test_robot.hpp"

namespace velmor::cli {
namespace {

using Json = nlohmann::json;
using test::Contents;
using test::Robot;

RecordingSetup JsonlSetup(const Robot& robot, const std::string& prefix) {
  return {"AB-12-345",
          "v2.1",
          robot.groups,
          robot.start_ids,
          robot.dofs,
          RecordFormat::kJsonl,
          foxglove::Compression::kZstd,
          prefix,
          false,
          {},
          {},
          false};
}

std::vector<Json> Rows(const std::string& path) {
  std::vector<Json> rows;
  std::istringstream lines(Contents(path));
  for (std::string line; std::getline(lines, line);) rows.push_back(Json::parse(line));
  return rows;
}

TEST(SeriesOutput, PiecesSwitchedWhileBothStreamsWriteHoldEverySampleOnceAndCountIt) {
  const Robot robot;
  const test::TemporaryDirectory directory;
  const std::string prefix = directory.File("cell");
  SplitPolicy policy;
  policy.bytes = 1;  // a piece ends as soon as it holds a sample: a switch every few samples
  auto owned = std::make_unique<SeriesOutput>(JsonlSetup(robot, prefix), policy);
  const SeriesOutput& output = *owned;
  Recording recording(std::move(owned));
  recording.Feed().StartWriting();

  // Fewer samples than a queue holds, so none is dropped, spread out so
  // that switches fall among them.
  constexpr std::uint64_t kSamples = 2000;
  const auto feed = [&recording, &robot](bool basic) {
    for (std::uint64_t n = 0; n < kSamples; ++n) {
      const double time = 1.0 + static_cast<double>(n) * 1e-3;
      basic ? recording.Feed().OnBasic(robot.Basic(), time) : recording.Feed().OnExtra(robot.Extra(), time);
      if (n % 20 == 0) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  };
  std::thread basic(feed, true);
  std::thread extra(feed, false);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  // Until every sample came, and the writers took enough of them for a few switches.
  while ((recording.Feed().Basic().received + recording.Feed().Extra().received < 2 * kSamples ||
          output.Completed().size() < 3) &&
         std::chrono::steady_clock::now() < give_up) {
    recording.Tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  basic.join();
  extra.join();
  recording.Finish("signal");
  ASSERT_FALSE(recording.Error()) << *recording.Error();

  const std::vector<SeriesPiece> pieces = FileSeries(prefix, {".basic.jsonl", ".extra.jsonl", ".meta.json"}).Scan();
  ASSERT_GE(pieces.size(), 3u) << "the recording was never switched under its writers";
  EXPECT_EQ(output.Completed().size(), pieces.size());
  for (const char* stream : {"basic", "extra"}) {
    std::uint64_t next = 0;
    std::uint64_t received = 0;
    for (const SeriesPiece& piece : pieces) {
      ASSERT_TRUE(piece.complete) << piece.stem;
      const Json meta = Json::parse(Contents(piece.stem + ".meta.json"));
      EXPECT_TRUE(meta["complete"].get<bool>());
      EXPECT_EQ(meta["piece"], piece.sequence);
      const Json& counts = meta["streams"][stream];
      EXPECT_EQ(counts["first_sample"], next) << piece.stem << " " << stream;
      const std::vector<Json> rows = Rows(piece.stem + "." + std::string(stream) + ".jsonl");
      EXPECT_EQ(rows.size(), counts["rows"].get<std::size_t>());
      for (std::size_t row = 0; row < rows.size(); row += robot.groups.size()) {
        EXPECT_EQ(rows[row]["sample"], next) << piece.stem << " " << stream;  // none lost, none twice
        ++next;
      }
      EXPECT_EQ(counts["written"].get<std::uint64_t>() * robot.groups.size(), rows.size());
      received += counts["received"].get<std::uint64_t>();
    }
    EXPECT_EQ(next, kSamples) << stream;
    EXPECT_EQ(received, kSamples) << stream;
  }
}

TEST(SeriesOutput, BreaksInTheBasicStreamAreDescribedAsTheyEnd) {
  const Robot robot;
  const test::TemporaryDirectory directory;
  const std::string prefix = directory.File("run");
  Recording recording(std::make_unique<SeriesOutput>(JsonlSetup(robot, prefix), std::nullopt));
  recording.Feed().StartWriting();
  recording.Feed().OnBasic(robot.Basic(100, 1), 10.0);
  recording.Feed().OnBasic(robot.Basic(100, 2), 10.5);  // half a second: no break
  recording.Feed().OnBasic(robot.Basic(102, 3), 12.0);  // the link was silent
  recording.Feed().OnBasic(robot.Basic(102, 4), 12.001);
  recording.Feed().OnBasic(robot.Basic(0, 0), 12.002);  // the robot restarted at once
  recording.Feed().OnBasic(robot.Basic(0, 0), 12.003);  // a stamp that stands still is no restart
  recording.Finish("time");

  // One recording not split keeps its one set of files at PATH.
  const Json meta = Json::parse(Contents(prefix + ".meta.json"));
  ASSERT_EQ(meta["gaps"].size(), 2u) << meta.dump();
  const Json& silent = meta["gaps"][0];
  EXPECT_EQ(silent["start_time"], 10.5);
  EXPECT_EQ(silent["end_time"], 12.0);
  EXPECT_EQ(silent["seconds"], 1.5);
  EXPECT_EQ(silent["sample"], 2);
  EXPECT_FALSE(silent["restarted"].get<bool>());
  const Json& restart = meta["gaps"][1];
  EXPECT_TRUE(restart["restarted"].get<bool>());
  EXPECT_EQ(restart["sample"], 4);
  EXPECT_EQ(restart["stamp_before"], Json::array({102, 4}));
  EXPECT_EQ(restart["stamp_after"], Json::array({0, 0}));
  EXPECT_EQ(meta["streams"]["basic"]["written"], 6);
  EXPECT_FALSE(meta.contains("piece"));
}

}  // namespace
}  // namespace velmor::cli
