// qrk-sim: a stand-in for a robot's data server, for trying the client,
// benchmarking it and testing it end to end. See --help.
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "middleware/zenoh/session.hpp"
#include "sim/estop_signal.hpp"
#include "sim/options.hpp"
#include "sim/resume_signal.hpp"
#include "sim/robot_server.hpp"
#include "sim/sim_clock.hpp"
#include "sim/stream_loop.hpp"
#include "toolkit/option_parsing.hpp"
#include "toolkit/stop_signal.hpp"

namespace {

namespace zenoh = velmor::zenoh;

using velmor::sim::SimOptions;

std::string JoinGroups(const std::vector<std::uint16_t>& groups) {
  std::string text;
  for (const auto group : groups) text += (text.empty() ? "" : ",") + std::to_string(group);
  return text;
}

void LogFaults(const SimOptions& options) {
  const auto& faults = options.faults;
  if (options.version != SimOptions{}.version) spdlog::info("fault: reporting server version '{}'", options.version);
  if (faults.silent) spdlog::info("fault: holding every query unanswered");
  if (faults.malformed) spdlog::info("fault: replying with malformed bytes");
  if (faults.corrupt_primitives > 0) {
    spdlog::info("fault: the first {} primitive-state replies carry an empty entry", faults.corrupt_primitives);
  }
  if (faults.pause_streams) spdlog::info("fault: streams paused");
  if (faults.start_paused) spdlog::info("fault: streams paused until SIGUSR1");
  if (faults.garbage_rate > 0.0) spdlog::info("fault: {} Hz of garbage stream payloads", faults.garbage_rate);
  if (faults.reachability_success) spdlog::info("fault: answering reachability with success true");
  if (!options.events.empty())
    spdlog::info("{} safety event(s) scripted; SIGUSR2 toggles the E-stop", options.events.size());
}

int Run(const SimOptions& options) {
  velmor::toolkit::InstallStopSignalHandlers();
  velmor::sim::InstallResumeSignalHandler();
  velmor::sim::InstallEstopSignalHandler();
  // The session is declared first so that it closes after every endpoint.
  zenoh::Session session(zenoh::SessionOptions{options.mode, options.connect});
  const velmor::sim::SimClock clock;
  std::vector<std::unique_ptr<velmor::sim::RobotServer>> robots;
  for (std::size_t i = 0; i < options.serials.size(); ++i) {
    robots.push_back(std::make_unique<velmor::sim::RobotServer>(session, options.serials[i], static_cast<unsigned>(i),
                                                                options, clock));
  }
  spdlog::info("qrk-sim: {} robot(s), streams at {} Hz, joint groups {}", robots.size(), options.rate,
               JoinGroups(options.groups));
  LogFaults(options);
  for (const std::string& endpoint : options.connect) spdlog::info("zenoh {}, connected to {}", options.mode, endpoint);
  if (options.duration > 0.0) spdlog::info("exiting after {} s", options.duration);
  std::printf("ready\n");
  std::fflush(stdout);

  velmor::sim::LoopSettings loop;
  loop.rate = options.rate;
  loop.garbage_rate = options.faults.garbage_rate;
  if (options.faults.pause_streams) {
    loop.streams_paused = [] { return true; };
  } else if (options.faults.start_paused) {
    loop.streams_paused = [] { return !velmor::sim::ResumeRequested(); };
  }
  loop.estop_toggles = &velmor::sim::EstopToggles;
  loop.duration = options.duration;
  const std::uint64_t ticks = velmor::sim::RunStreamLoop(robots, clock, loop, &velmor::toolkit::StopRequested);
  spdlog::info("qrk-sim: stopping after {:.1f} s, {} samples per robot", clock.Seconds(), ticks);
  robots.clear();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  try {
    options = velmor::sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const velmor::toolkit::UsageError& error) {
    std::fprintf(stderr, "qrk-sim: %s (see qrk-sim --help)\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fputs(velmor::sim::UsageText().c_str(), stdout);
    return 0;
  }
  // stdout carries only the "ready" line, which scripts and tests wait for.
  spdlog::set_default_logger(spdlog::stderr_color_mt("qrk-sim"));
  spdlog::set_level(options.verbose ? spdlog::level::debug : spdlog::level::info);
  try {
    return Run(options);
  } catch (const std::exception& error) {
    spdlog::error("qrk-sim: {}", error.what());
    return 1;
  }
}
