// A long recording's pieces on disk: names that sort in time and never
// repeat, across restarts too; an open piece marked until it is complete;
// retention that deletes only this series' complete pieces, oldest first.
#include "cli/recorder/file_series.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/temporary_directory.hpp"
#include "toolkit/write_error.hpp"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;
using test::Contents;
using test::TemporaryDirectory;
using Names = std::vector<std::string>;

const std::vector<std::string> kRowEndings{".basic.csv", ".extra.csv", ".meta.json"};
constexpr double kStart = 1796602217.75;  // 2026-12-07T00:10:17.75Z

void Write(const std::string& path, std::size_t bytes) {
  std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// Writes the piece's files as a format would, and completes it.
SeriesPiece WritePiece(FileSeries& series, double start, std::size_t bytes_per_file) {
  SeriesPiece piece = series.Next(start);
  for (const std::string& ending : kRowEndings) Write(piece.ActivePrefix() + ending, bytes_per_file);
  series.Complete(piece);
  return piece;
}

Names FileNames(const TemporaryDirectory& directory) {
  Names names;
  for (const auto& entry : fs::directory_iterator(fs::path(directory.File("")))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileSeries, NamesSortInTimeAndTheOpenPieceIsMarkedUntilComplete) {
  TemporaryDirectory directory;
  FileSeries series(directory.File("cell"), kRowEndings);
  const SeriesPiece first = series.Next(kStart);
  EXPECT_EQ(fs::path(first.stem).filename(), "cell-20261207T001017Z-000001");
  EXPECT_EQ(fs::path(first.ActivePrefix()).filename(), "cell-20261207T001017Z-000001.active");
  for (const char* ending : {".basic.csv", ".meta.json"}) Write(first.ActivePrefix() + ending, 10);
  const auto open = series.Scan();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_FALSE(open[0].complete);

  series.Complete(first);  // the format wrote no .extra.csv: nothing to rename
  EXPECT_EQ(FileNames(directory),
            (Names{"cell-20261207T001017Z-000001.basic.csv", "cell-20261207T001017Z-000001.meta.json"}));
  const auto done = series.Scan();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_TRUE(done[0].complete);
  EXPECT_EQ(done[0].bytes, 20u);
  EXPECT_EQ(done[0].files.size(), 2u);

  // Started within the same second, and after an hour: both after the first.
  const SeriesPiece second = series.Next(kStart + 0.1);
  const SeriesPiece third = series.Next(kStart + 3600);
  EXPECT_EQ(fs::path(second.stem).filename(), "cell-20261207T001017Z-000002");
  EXPECT_EQ(fs::path(third.stem).filename(), "cell-20261207T011017Z-000003");
  EXPECT_LT(first.stem, second.stem);
  EXPECT_LT(second.stem, third.stem);
}

TEST(FileSeries, ARestartContinuesBesideEarlierPiecesAndNeverOverwrites) {
  TemporaryDirectory directory;
  {
    FileSeries earlier(directory.File("cell"), kRowEndings);
    WritePiece(earlier, kStart, 5);
    // Killed while writing its second piece.
    Write(earlier.Next(kStart + 60).ActivePrefix() + ".basic.csv", 7);
  }
  FileSeries series(directory.File("cell"), kRowEndings);
  const auto found = series.Scan();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_TRUE(found[0].complete);
  EXPECT_FALSE(found[1].complete);  // left as it was, for recovery
  const SeriesPiece next = series.Next(kStart + 120);
  EXPECT_EQ(next.sequence, 3u);

  // A file already at a complete name is never replaced.
  Write(next.stem + ".basic.csv", 3);
  Write(next.ActivePrefix() + ".basic.csv", 9);
  EXPECT_THROW(series.Complete(next), toolkit::WriteError);
  EXPECT_EQ(Contents(next.stem + ".basic.csv"), "xxx");
  EXPECT_EQ(Contents(next.ActivePrefix() + ".basic.csv"), std::string(9, 'x'));
}

TEST(FileSeries, RetentionDeletesOnlyThisSeriesCompletePiecesOldestFirst) {
  TemporaryDirectory directory;
  FileSeries series(directory.File("cell"), kRowEndings);
  std::vector<SeriesPiece> pieces;
  for (int i = 0; i < 4; ++i) pieces.push_back(WritePiece(series, kStart + 60 * i, 100));  // 300 bytes each
  const SeriesPiece open = series.Next(kStart + 240);
  Write(open.ActivePrefix() + ".basic.csv", 1000);
  // Files that are not this series' pieces, however alike their names.
  const Names strangers{"cell-notes.txt",
                        "cell-20261207T001017Z-000001.mcap",
                        "cell2-20261207T001017Z-000001.basic.csv",
                        "cell-20261207T001017Z-00001.basic.csv",
                        "cell-2026120xT001017Z-000009.basic.csv",
                        "xcell-20261207T001017Z-000001.basic.csv"};
  for (const std::string& name : strangers) Write(directory.File(name), 5000);
  fs::create_symlink(directory.File("cell-notes.txt"), directory.File("cell-20261207T000000Z-000000.basic.csv"));

  EXPECT_TRUE(series.Prune({}, 1000).empty());                  // no bounds: everything stays
  EXPECT_EQ(series.Prune({std::nullopt, 3}, 1000).size(), 3u);  // the oldest piece, all three files
  EXPECT_FALSE(fs::exists(pieces[0].stem + ".meta.json"));
  EXPECT_TRUE(fs::exists(pieces[1].stem + ".meta.json"));
  // 900 complete bytes and the open piece's 1000: 1500 keeps one piece.
  const auto deleted = series.Prune({1500, std::nullopt}, 1000);
  EXPECT_EQ(deleted.size(), 6u);
  EXPECT_FALSE(fs::exists(pieces[2].stem + ".basic.csv"));
  EXPECT_TRUE(fs::exists(pieces[3].stem + ".basic.csv"));
  // A cap the open piece alone exceeds empties the series but for it.
  series.Prune({10, 0}, 1000);

  Names expected = strangers;
  expected.push_back("cell-20261207T000000Z-000000.basic.csv");
  expected.push_back(fs::path(open.ActivePrefix() + ".basic.csv").filename().string());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FileNames(directory), expected);
}

}  // namespace
}  // namespace velmor::cli
