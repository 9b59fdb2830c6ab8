#pragma once
// One simulated robot on the network: the publishers of its two streams and
// the queryable of its remote procedures, under velmor/robot/<serial>/.
//
// Threads: every member function runs on the main loop's thread; queries are
// answered on zenoh's threads by the shared RpcService. Destruction
// undeclares the queryable, ends the held queries, then undeclares the
// publishers; the session must outlive the server.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "middleware/zenoh/publisher.hpp"
#include "middleware/zenoh/queryable.hpp"
#include "middleware/zenoh/session.hpp"
#include "sim/options.hpp"
#include "sim/robot_model.hpp"
#include "sim/rpc_service.hpp"
#include "sim/sim_clock.hpp"

namespace velmor::sim {

class RobotServer {
 public:
  /// Declares the three endpoints; throws zenoh::ZException when the serial
  /// makes an invalid key expression or a declaration fails. `variant` makes
  /// this robot's motion differ from the others'.
  RobotServer(const zenoh::Session& session, const std::string& serial, unsigned variant, const SimOptions& options,
              SimClock clock);
  ~RobotServer();
  RobotServer(const RobotServer&) = delete;
  RobotServer& operator=(const RobotServer&) = delete;

  /// Rewrites an encoded basic payload right before it is sent, given the
  /// sample's number: the benchmarks' robot stamps send times through it.
  using PayloadStamp = std::function<void(std::vector<std::uint8_t>& payload, std::uint32_t sequence)>;
  void SetPayloadStamp(PayloadStamp stamp) { stamp_ = std::move(stamp); }

  /// Publishes the next basic and extra sample, taken at `t` seconds.
  void PublishSample(double t);
  /// Presses or releases the E-stop from `t` on.
  void ToggleEstop(double t) { model_.ToggleEstop(t); }
  /// Publishes one undecodable payload, on the basic and extra stream in turn.
  void PublishGarbage();
  /// Ends the held queries that have waited long enough.
  void ReleaseHeldQueries(SimClock::Clock::time_point now) { rpc_.ReleaseExpired(now); }

  const std::string& serial() const noexcept { return serial_; }

 private:
  std::string serial_;
  RobotModel model_;
  zenoh::Publisher basic_;
  zenoh::Publisher extra_;
  RpcService rpc_;
  std::optional<zenoh::Queryable> queryable_;
  PayloadStamp stamp_;
  std::uint32_t sequence_ = 0;
  std::uint64_t garbage_sent_ = 0;
  // The latest good payloads, which garbage is cut from.
  std::vector<std::uint8_t> last_basic_;
  std::vector<std::uint8_t> last_extra_;
};

}  // namespace velmor::sim
