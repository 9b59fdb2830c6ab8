// What a recording's files hold when writing goes wrong: only complete rows,
// and counts that match them.
#include "cli/row_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/row_sink.hpp"
#include "cli/stream_pipeline.hpp"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "qrk-rows-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

// A file size limit for this process, as a full disk would impose: a write
// past it fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previous_handler_ = SIG_DFL;
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// 100 bytes each, numbered.
std::string Row(int n) {
  std::string row = "row " + std::to_string(n) + ",";
  row.resize(99, 'x');
  return row + '\n';
}

TEST(RowFile, RowsReachTheFileInLargeWritesOrWhenAsked) {
  const TemporaryDirectory directory;
  const std::string path = directory.File("rows.csv");
  RowFile file(path);
  file.Rows() += Row(1);
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_TRUE(file.Commit(true));
  EXPECT_EQ(Contents(path), Row(1));
  EXPECT_FALSE(file.Commit(true)) << "nothing left to write";
  for (int n = 2; n < 3000; ++n) file.Rows() += Row(n);
  EXPECT_TRUE(file.Commit()) << "300 kB collected";
  EXPECT_EQ(fs::file_size(path), 2999u * 100);
}

TEST(RowFile, AFailedWriteLeavesTheFileEndingWithItsLastCompleteRow) {
  const TemporaryDirectory directory;
  const std::string path = directory.File("rows.csv");
  RowFile file(path);
  const FileSizeLimit limit(65536);
  for (int n = 0; n < 600; ++n) file.Rows() += Row(n);
  ASSERT_TRUE(file.Commit(true));
  // The next write stops part way into a row at the limit.
  for (int n = 600; n < 1200; ++n) file.Rows() += Row(n);
  try {
    file.Commit(true);
    FAIL() << "the write past the limit succeeded";
  } catch (const WriteError& error) {
    EXPECT_NE(std::string(error.what()).find("cannot write " + path + ": File too large"), std::string::npos)
        << error.what();
  }
  EXPECT_EQ(fs::file_size(path), 600u * 100);
  const std::string contents = Contents(path);
  EXPECT_EQ(contents.substr(contents.size() - 100), Row(599));
  EXPECT_TRUE(file.Rows().empty()) << "the rows that were not written are discarded";
}

TEST(RowFile, AFileThatCannotBeCutBackSaysSo) {
  {
    RowFile full("/dev/full");
    full.Rows() = Row(1);
    try {
      full.Commit(true);
      FAIL() << "a write to /dev/full succeeded";
    } catch (const WriteError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("cannot write /dev/full: No space left on device"), std::string::npos) << message;
      EXPECT_NE(message.find("cannot cut it back to complete rows"), std::string::npos) << message;
    }
  }
  const TemporaryDirectory directory;
  EXPECT_THROW(RowFile(directory.File("missing/rows.csv")), WriteError);
}

// Samples are strings: an empty one does not fit the layout and makes no row.
using TextPipeline = StreamPipeline<std::string>;

std::uint64_t OneRowPerSample(std::string& out, const RowStamp& stamp, const std::string& sample) {
  if (sample.empty()) return 0;
  out += std::to_string(stamp.sample) + "," + sample + "\n";
  return 1;
}

TEST(StreamPipeline, CountsMatchTheRowsInTheFileAndAFullQueueDrops) {
  const TemporaryDirectory directory;
  const std::string path = directory.File("stream.csv");
  StreamCounts counts;
  {
    RowSink<std::string> sink(path, "sample,value\n", &OneRowPerSample);
    TextPipeline pipeline(sink);
    // Nothing writes yet, so the queue fills and the last samples drop.
    const std::size_t offered = TextPipeline::kQueueCapacity + 3;
    for (std::size_t n = 0; n < offered; ++n) {
      pipeline.Take(n % 100 == 0 ? "" : "v" + std::to_string(n), 0.0, {0, 0});
    }
    pipeline.StartWriting();
    pipeline.Finish();
    counts = pipeline.Counts();
    EXPECT_FALSE(pipeline.Error());
  }
  EXPECT_EQ(counts.received, TextPipeline::kQueueCapacity + 3);
  EXPECT_EQ(counts.dropped, 3u);
  EXPECT_EQ(counts.written + counts.unfit, TextPipeline::kQueueCapacity);
  EXPECT_EQ(counts.unfit, 41u);  // samples 0, 100, ..., 4000
  EXPECT_EQ(counts.rows, counts.written);

  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "sample,value");
  // A row keeps the number the sample got on arrival: sample 0 made none.
  std::getline(in, line);
  EXPECT_EQ(line, "1,v1");
  std::uint64_t rows = 1;
  while (std::getline(in, line)) ++rows;
  EXPECT_EQ(rows, counts.rows);
}

}  // namespace
}  // namespace velmor::cli
