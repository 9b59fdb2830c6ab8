// stamp-server: the robots of the freshness benchmarks. It serves each
// --serial exactly as qrk-sim does (its robot server and stream loop), but
// every basic sample's time stamp reads (sequence number, send time): the
// send time is CLOCK_MONOTONIC in nanoseconds modulo 2^32, written into the
// encoded payload immediately before the put. CLOCK_MONOTONIC is one clock
// for every network namespace of the machine, so a reader in the other
// namespace gets a sample's delivery latency as (its own clock - send time)
// modulo 2^32, valid up to 4.29 s.
//
//   stamp-server --serial SN [--serial SN...] [--rate HZ] [--groups LIST] [--duration S]
//
// Robots share the session and the tick; each sample is stamped right before
// its own put, so a robot served later in a tick is not charged for the
// others' puts. Prints "ready" once every endpoint is declared; stops on
// SIGINT/SIGTERM/SIGHUP.
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "middleware/zenoh/session.hpp"
#include "sim/options.hpp"
#include "sim/robot_server.hpp"
#include "sim/sim_clock.hpp"
#include "sim/stream_loop.hpp"
#include "toolkit/stop_signal.hpp"

namespace {

namespace zenoh = velmor::zenoh;
namespace sim = velmor::sim;

void WriteLittleEndian(std::vector<std::uint8_t>& payload, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) payload[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The time stamp pair closes the basic message: the sequence number fills
// its first half, the send time its second, the payload's last 8 bytes.
void StampSequenceAndSendTime(std::vector<std::uint8_t>& payload, std::uint32_t sequence) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  WriteLittleEndian(payload, payload.size() - 8, sequence);
  WriteLittleEndian(payload, payload.size() - 4,
                    static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

int Run(const sim::SimOptions& options) {
  velmor::toolkit::InstallStopSignalHandlers();
  zenoh::Session session;  // declared first, so it closes after every endpoint
  const sim::SimClock clock;
  std::vector<std::unique_ptr<sim::RobotServer>> robots;
  for (std::size_t i = 0; i < options.serials.size(); ++i) {
    robots.push_back(
        std::make_unique<sim::RobotServer>(session, options.serials[i], static_cast<unsigned>(i), options, clock));
    robots.back()->SetPayloadStamp(StampSequenceAndSendTime);
  }
  std::printf("ready\n");
  std::fflush(stdout);

  sim::LoopSettings loop;
  loop.rate = options.rate;
  loop.duration = options.duration;
  const std::uint64_t ticks = sim::RunStreamLoop(robots, clock, loop, &velmor::toolkit::StopRequested);
  robots.clear();
  spdlog::info("stamp-server: {} samples per robot", ticks);
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
