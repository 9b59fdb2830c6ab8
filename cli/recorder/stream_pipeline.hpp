#pragma once
// StreamPipeline<Message>: source -> bounded queue -> sink, for one stream.
// The source (zenoh's thread) stamps and queues each sample without ever
// blocking; a writer thread of the pipeline's own hands it to the sink. A
// sample that finds the queue full is dropped and counted.
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "cli/recorder/bounded_queue.hpp"
#include "cli/recorder/row_file.hpp"
#include "cli/recorder/sample_sink.hpp"
#include "cli/recorder/stream_counts.hpp"

namespace velmor::cli {

template <class Message>
class StreamPipeline {
 public:
  /// At 1 kHz, a few seconds of samples.
  static constexpr std::size_t kQueueCapacity = 4096;

  /// `sink` must outlive the pipeline.
  explicit StreamPipeline(SampleSink<Message>& sink) : sink_(sink), queue_(kQueueCapacity) {}
  ~StreamPipeline() { Finish(); }
  StreamPipeline(const StreamPipeline&) = delete;
  StreamPipeline& operator=(const StreamPipeline&) = delete;

  void StartWriting() {
    writer_ = std::thread([this] {
      try {
        WriteLoop();
      } catch (...) {  // the queue itself failed: nothing more is written
        Fail(std::current_exception());
      }
    });
  }

  /// On the source's thread: queues a copy of the sample, or drops it.
  void Take(const Message& sample, double receive_time, std::pair<std::int32_t, std::int32_t> timestamp) {
    queue_.TryPush(
        Item{SampleStamp{received_.fetch_add(1, std::memory_order_relaxed), receive_time, timestamp}, sample});
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

  /// The first error of the writer thread (a failed write, an exception in
  /// the sink), once there has been one.
  std::optional<std::string> Error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

 private:
  struct Item {
    SampleStamp stamp;
    Message message;
  };

  // The counts follow the sink: records not yet committed count only once
  // they are, so the finished counts match what the output holds exactly.
  // The first error ends the writing (the rest of the queue is drained
  // uncounted) but never the program: a write error leaves the output as its
  // sink cut it back, any other (an exception in the sink, no memory) still
  // commits what was written before it.
  void WriteLoop() {
    Item item;
    StreamCounts pending;
    bool failed = false;
    bool sink_usable = true;
    while (queue_.Pop(item)) {
      if (failed) continue;  // drain, so that the queue never fills behind a dead sink
      try {
        const SampleRecords made = sink_.Write(item.stamp, item.message);
        ++(made.fits ? pending.written : pending.unfit);
        pending.records += made.records;
      } catch (...) {
        sink_usable = Fail(std::current_exception());
        failed = true;
        continue;
      }
      failed = !CommitCounting(false, pending);
      sink_usable = !failed;
    }
    if (sink_usable) CommitCounting(true, pending);
  }

  bool CommitCounting(bool now, StreamCounts& pending) {
    try {
      if (!sink_.Commit(now) && !now) return true;
    } catch (...) {
      Fail(std::current_exception());
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    counts_.written += std::exchange(pending.written, 0);
    counts_.unfit += std::exchange(pending.unfit, 0);
    counts_.records += std::exchange(pending.records, 0);
    return true;
  }

  // Keeps the first error's message; true when the sink may still commit
  // (the error was not its own write's).
  bool Fail(const std::exception_ptr& failure) noexcept {
    std::string message;
    bool sink_usable = true;
    try {
      try {
        std::rethrow_exception(failure);
      } catch (const WriteError& error) {
        sink_usable = false;
        message = error.what();
      } catch (const std::bad_alloc&) {
        message = "out of memory";
      } catch (const std::exception& error) {
        message = std::string("cannot record a sample: ") + error.what();
      } catch (...) {
        message = "cannot record a sample: unknown error";
      }
    } catch (...) {               // no memory left for the message itself
      message = "out of memory";  // short enough to need none
    }
    Fail(message);
    return sink_usable;
  }

  void Fail(std::string& message) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = std::move(message);
  }

  SampleSink<Message>& sink_;
  BoundedQueue<Item> queue_;
  std::atomic<std::uint64_t> received_{0};
  mutable std::mutex mutex_;
  StreamCounts counts_;
  std::optional<std::string> error_;
  std::thread writer_;
};

}  // namespace velmor::cli
