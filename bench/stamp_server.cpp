// stamp-server: the robots of the freshness benchmarks. It serves each
// --serial like qrk-sim (both streams from the simulator's robot model, the
// remote procedures from its responder), but every basic sample's time stamp reads
// (sequence number, send time): the send time is CLOCK_MONOTONIC in
// nanoseconds modulo 2^32, written into the encoded payload immediately
// before the put. CLOCK_MONOTONIC is one clock for every network namespace of
// the machine, so a reader in the other namespace gets a sample's delivery
// latency as (its own clock - send time) modulo 2^32, valid up to 4.29 s.
//
//   stamp-server --serial SN [--serial SN...] [--rate HZ] [--groups LIST] [--duration S]
//
// Robots share the session and the tick; each sample is stamped right before
// its own put, so a robot served later in a tick is not charged for the
// others' puts.
// Prints "ready" once every endpoint is declared; stops on SIGINT/SIGTERM.
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "middleware/zenoh/queryable.hpp"
#include "middleware/zenoh/session.hpp"
#include "sim/options.hpp"
#include "sim/robot_model.hpp"
#include "sim/rpc_service.hpp"
#include "sim/sim_clock.hpp"
#include "sim/tick_schedule.hpp"
#include "toolkit/stop_signal.hpp"

namespace {

namespace zenoh = velmor::zenoh;

using Clock = std::chrono::steady_clock;
namespace mdw = velmor::zenoh_mdw;
namespace sim = velmor::sim;

std::uint32_t MonotonicNanosLow() {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

// The time stamp pair is the last field of the basic message: the send time,
// an unsigned 32-bit little-endian value, fills the payload's last 4 bytes.
void StampSendTime(std::vector<std::uint8_t>& payload) {
  const std::uint32_t now = MonotonicNanosLow();
  for (std::size_t i = 0; i < 4; ++i) payload[payload.size() - 4 + i] = static_cast<std::uint8_t>(now >> (8 * i));
}

// One robot's endpoints; the session outlives them.
struct Robot {
  Robot(zenoh::Session& session, const std::string& serial, unsigned variant, const sim::SimOptions& options,
        const sim::SimClock& clock)
      : model(options.groups, variant),
        basic(session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix))),
        extra(session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kExtraStreamSuffix))),
        rpc(std::make_shared<sim::RpcService>(serial, options.faults, Settings(options), clock)),
        queryable(session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kRpcSuffix)),
                  [rpc = rpc](const zenoh::Query& query) { rpc->Handle(query); }) {}

  static sim::ResponderSettings Settings(const sim::SimOptions& options) {
    sim::ResponderSettings settings;
    settings.groups = options.groups;
    return settings;
  }

  sim::RobotModel model;
  zenoh::Publisher basic;
  zenoh::Publisher extra;
  std::shared_ptr<sim::RpcService> rpc;
  zenoh::Queryable queryable;
};

int Run(const sim::SimOptions& options) {
  velmor::toolkit::InstallStopSignalHandlers();
  zenoh::Session session;  // declared first, so it closes after every endpoint
  const sim::SimClock clock;
  std::vector<std::unique_ptr<Robot>> robots;
  for (std::size_t i = 0; i < options.serials.size(); ++i) {
    robots.push_back(std::make_unique<Robot>(session, options.serials[i], static_cast<unsigned>(i), options, clock));
  }
  std::printf("ready\n");
  std::fflush(stdout);

  sim::TickSchedule ticks(Clock::now(), options.rate);
  const auto end =
      options.duration > 0.0
          ? clock.start() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.duration))
          : Clock::time_point::max();
  std::uint32_t sequence = 0;
  while (!velmor::toolkit::StopRequested() && Clock::now() < end) {
    if (Clock::now() < ticks.due()) {
      std::this_thread::sleep_until(std::min(ticks.due(), Clock::now() + std::chrono::milliseconds(50)));
      continue;
    }
    const double t = clock.Seconds();
    ++sequence;
    for (auto& robot : robots) {
      auto message = robot->model.Basic(t, 0);
      message.timestamp_first = static_cast<std::int32_t>(sequence);
      std::vector<std::uint8_t> payload = velmor::zenoh_msgs::Encode(message);
      const std::vector<std::uint8_t> desired = velmor::zenoh_msgs::Encode(robot->model.Extra(t));
      StampSendTime(payload);
      robot->basic.put(payload);
      robot->extra.put(desired);
    }
    ticks.Advance(Clock::now());
  }
  for (auto& robot : robots) robot->rpc->ReleaseAll();
  spdlog::info("stamp-server: {} samples per robot", sequence);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  spdlog::set_default_logger(spdlog::stderr_color_mt("stamp-server"));
  try {
    const sim::SimOptions options = sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::puts("usage: stamp-server --serial SN [--serial SN...] [--rate HZ] [--groups LIST] [--duration S]");
      return 0;
    }
    return Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "stamp-server: %s\n", error.what());
    return 1;
  }
}
