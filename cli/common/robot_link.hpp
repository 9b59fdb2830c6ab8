#pragma once
// RobotLink: the tools' one connection to one robot. It is a QRKClient (one
// subscription per stream, one RPC client) started up exactly as the public
// Client is, plus what a tool needs and the Client keeps to itself: the
// layout learnt, each stream's sample count and latest arrival, and every
// sample handed to a consumer (a recorder, a live view) as it arrives.
//
// Threads: samples arrive on zenoh's threads, which update the stream clocks
// (atomics) and call the consumer under the consumer lock; Attach and every
// other member run on the caller's thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "services/qrk_client.hpp"
#include "services/robot_startup.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::qrk_impl {

/// Counts one stream's samples and remembers when the latest arrived.
class StreamClock {
 public:
  using Clock = std::chrono::steady_clock;

  void Tick() noexcept {
    latest_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    samples_.fetch_add(1, std::memory_order_relaxed);
  }
  std::uint64_t Samples() const noexcept { return samples_.load(std::memory_order_relaxed); }
  /// How long ago the latest sample arrived; nothing before the first.
  std::optional<Clock::duration> Age() const noexcept;

 private:
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<Clock::rep> latest_{0};
};

/// Receives every sample on zenoh's thread with its receive time (seconds
/// since the Unix epoch, this machine's clock). Must not block.
class SampleConsumer {
 public:
  virtual void OnBasic(const BasicStreamData& sample, double receive_time) = 0;
  virtual void OnExtra(const ExtraStreamData& sample, double receive_time) = 0;

 protected:
  ~SampleConsumer() = default;
};

class RobotLink {
 public:
  /// Connects to the robot whose normalised serial number is `serial`;
  /// throws the public Client's errors, with its messages.
  explicit RobotLink(std::string serial);
  RobotLink(const RobotLink&) = delete;
  RobotLink& operator=(const RobotLink&) = delete;
  ~RobotLink();

  /// The normalised serial, as the robot's keys spell it.
  const std::string& Serial() const noexcept { return serial_; }
  /// The protocol version the server reported: start-up accepts no other.
  static const char* Version() noexcept { return kClientVersion; }
  const RobotLayout& Layout() const noexcept { return layout_; }
  /// The groups the records are cut for (those of the first sample when
  /// start-up saw none).
  const GroupNames& Groups() const noexcept { return layout_.Groups(services_->Stream()); }
  DataStream& Stream() const noexcept { return services_->Stream(); }
  DataRpc& Rpc() const noexcept { return services_->Rpc(); }
  const StreamClock& BasicClock() const noexcept { return taps_.basic; }
  const StreamClock& ExtraClock() const noexcept { return taps_.extra; }

  /// Hands every later sample to `consumer`; nullptr stops that, and returns
  /// only once no call into the previous consumer runs.
  void Attach(SampleConsumer* consumer);

 private:
  // What the stream taps touch. Declared before the services, so it goes
  // after them: undeclaring the subscribers waits for a tap in progress.
  struct TapState {
    StreamClock basic;
    StreamClock extra;
    std::mutex consumer_mutex;
    SampleConsumer* consumer = nullptr;
  };
  StreamTaps Taps();

  std::string serial_;
  TapState taps_;
  std::shared_ptr<QRKClient> services_;
  RobotLayout layout_;
};

}  // namespace velmor::qrk_impl
