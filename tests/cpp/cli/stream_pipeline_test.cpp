// One stream's way from zenoh's thread to its sink: a queue that never
// blocks the receiver and counts what it drops, and counts that match what
// the sink kept, whatever goes wrong in the sink.
#include "cli/recorder/stream_pipeline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "cli/recorder/bounded_queue.hpp"
#include "cli/recorder/row_sink.hpp"
#include "cli/temporary_directory.hpp"

namespace velmor::cli {
namespace {

using test::Contents;
using test::TemporaryDirectory;

// A full or closed queue drops and counts, never waits; what it took comes
// out in order, the rest of it even after it is closed, and only then does
// Pop say there is no more. A Pop waiting on an empty queue returns when it
// is closed.
TEST(BoundedQueue, DropsWhenFullOrClosedAndHandsOutEverythingItTookInOrder) {
  BoundedQueue<int> queue(3);
  for (int n = 0; n < 5; ++n) EXPECT_EQ(queue.TryPush(int{n}), n < 3) << n;
  EXPECT_EQ(queue.Dropped(), 2u);
  int out = -1;
  ASSERT_TRUE(queue.Pop(out));
  EXPECT_EQ(out, 0);
  EXPECT_TRUE(queue.TryPush(3));  // room again
  queue.Close();
  EXPECT_FALSE(queue.TryPush(4));
  EXPECT_EQ(queue.Dropped(), 3u);
  for (const int expected : {1, 2, 3}) {
    ASSERT_TRUE(queue.Pop(out));
    EXPECT_EQ(out, expected);
  }
  EXPECT_FALSE(queue.Pop(out));

  BoundedQueue<int> empty(3);
  std::thread closer([&] { empty.Close(); });
  EXPECT_FALSE(empty.Pop(out));
  closer.join();
}

// Samples are strings: an empty one does not fit the layout and makes no row.
using TextPipeline = StreamPipeline<std::string>;

std::uint64_t OneRowPerSample(std::string& out, const SampleStamp& stamp, const std::string& sample) {
  if (sample.empty()) return 0;
  out += std::to_string(stamp.sample) + "," + sample + "\n";
  return 1;
}

TEST(StreamPipeline, CountsMatchTheRowsInTheFileAndAFullQueueDrops) {
  const TemporaryDirectory directory;
  const std::string path = directory.File("stream.csv");
  StreamCounts counts;
  {
    RowSink<std::string> sink(path, false, "sample,value\n", &OneRowPerSample);
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
  EXPECT_EQ(counts.records, counts.written);

  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "sample,value");
  // A row keeps the number the sample got on arrival: sample 0 made none.
  std::getline(in, line);
  EXPECT_EQ(line, "1,v1");
  std::uint64_t rows = 1;
  while (std::getline(in, line)) ++rows;
  EXPECT_EQ(rows, counts.records);
}

// A sample the sink cannot take (an exception that is no write error: a bug,
// no memory) ends the writing with a message, never the program, and the
// file keeps, counted, every row made before it and no part of the failing
// one.
TEST(StreamPipeline, AnExceptionInTheSinkEndsTheWritingButKeepsTheRowsBefore) {
  for (const bool out_of_memory : {false, true}) {
    const TemporaryDirectory directory;
    const std::string path = directory.File("stream.csv");
    StreamCounts counts;
    std::optional<std::string> error;
    {
      RowSink<std::string> sink(path, false, "sample,value\n",
                                [&](std::string& out, const SampleStamp& stamp, const std::string& sample) {
                                  out += std::to_string(stamp.sample) + ",";  // a row begun, then
                                  if (sample == "boom" && out_of_memory) throw std::bad_alloc();
                                  if (sample == "boom") throw std::logic_error("no row for boom");
                                  out += sample + "\n";
                                  return std::uint64_t{1};
                                });
      TextPipeline pipeline(sink);
      pipeline.StartWriting();
      for (int n = 0; n < 2000; ++n) pipeline.Take(n == 1500 ? "boom" : "v" + std::to_string(n), 0.0, {0, 0});
      pipeline.Finish();
      counts = pipeline.Counts();
      error = pipeline.Error();
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, out_of_memory ? "out of memory" : "cannot record a sample: no row for boom");
    EXPECT_EQ(counts.received, 2000u);
    EXPECT_EQ(counts.written, 1500u);
    EXPECT_EQ(counts.records, 1500u);
    const std::string contents = Contents(path);
    EXPECT_EQ(contents.substr(contents.size() - 11), "1499,v1499\n") << "the last row before the failing sample";
    EXPECT_EQ(std::count(contents.begin(), contents.end(), '\n'), 1501);
  }
}

}  // namespace
}  // namespace velmor::cli
