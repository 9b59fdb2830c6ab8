#pragma once
// StreamRecorder<Message>: records every sample of one stream. The
// subscriber's callback stamps the sample and queues it (never blocking
// zenoh's thread); a writer thread of its own turns it into rows and writes
// them. A sample that finds the queue full is dropped and counted.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "cli/bounded_queue.hpp"
#include "cli/record_rows.hpp"
#include "cli/row_file.hpp"

namespace velmor::cli {

struct StreamCounts {
  std::uint64_t received = 0;
  std::uint64_t written = 0;
  std::uint64_t dropped = 0;
  /// Samples that did not fit the robot's layout (no rows).
  std::uint64_t unfit = 0;
  std::uint64_t rows = 0;
};

template <class Message>
class StreamRecorder {
 public:
  /// Appends the rows of one sample; returns how many, 0 when it does not fit.
  using RowMaker = std::function<std::uint64_t(std::string& out, const RowStamp& stamp, const Message& message)>;

  /// At 1 kHz, a few seconds of samples.
  static constexpr std::size_t kQueueCapacity = 4096;

  StreamRecorder(const std::string& path, const std::string& header, RowMaker make_rows)
      : file_(path), make_rows_(std::move(make_rows)), queue_(kQueueCapacity) {
    file_.Rows() = header;
    file_.Commit(true);
  }
  ~StreamRecorder() { Finish(); }
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  void StartWriting() {
    writer_ = std::thread([this] { WriteLoop(); });
  }

  /// On zenoh's thread: takes the sample over (leaves `fresh` empty).
  void Take(Message& fresh, double receive_time, std::pair<std::int32_t, std::int32_t> timestamp) {
    Item item{RowStamp{received_.fetch_add(1, std::memory_order_relaxed), receive_time, timestamp}, {}};
    std::swap(item.message, fresh);
    queue_.TryPush(std::move(item));
  }

  /// Stops taking samples, writes every queued one, and waits for the writer.
  void Finish() {
    queue_.Close();
    if (writer_.joinable()) writer_.join();
  }

  StreamCounts Counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    StreamCounts counts = counts_;
    counts.received = received_.load(std::memory_order_relaxed);
    counts.dropped = queue_.Dropped();
    return counts;
  }

  /// The first write error, once there has been one.
  std::optional<std::string> Error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

  const std::string& Path() const noexcept { return file_.Path(); }

 private:
  struct Item {
    RowStamp stamp;
    Message message;
  };

  // The counts follow the file: rows still in the buffer count only once
  // they are written, so the finished counts match the file's rows exactly.
  void WriteLoop() {
    Item item;
    StreamCounts pending;
    bool failed = false;
    while (queue_.Pop(item)) {
      if (failed) continue;  // drain, so that the queue never fills behind a dead file
      const std::uint64_t rows = make_rows_(file_.Rows(), item.stamp, item.message);
      ++(rows > 0 ? pending.written : pending.unfit);
      pending.rows += rows;
      failed = !CommitCounting(false, pending);
    }
    if (!failed) CommitCounting(true, pending);
  }

  bool CommitCounting(bool now, StreamCounts& pending) {
    try {
      if (!file_.Commit(now) && !now) return true;
    } catch (const WriteError& error) {
      Fail(error.what());
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.written += std::exchange(pending.written, 0);
    counts_.unfit += std::exchange(pending.unfit, 0);
    counts_.rows += std::exchange(pending.rows, 0);
    return true;
  }

  void Fail(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = message;
  }

  RowFile file_;
  RowMaker make_rows_;
  BoundedQueue<Item> queue_;
  std::atomic<std::uint64_t> received_{0};
  mutable std::mutex mutex_;
  StreamCounts counts_;
  std::optional<std::string> error_;
  std::thread writer_;
};

}  // namespace velmor::cli
