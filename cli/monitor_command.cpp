// qrk monitor: a live view of one robot. On a terminal the view is redrawn
// in place ten times a second; otherwise one plain block a second, so that
// the output can be logged or piped. Ctrl-C, SIGTERM, SIGHUP (a closed
// terminal) or --seconds end it with status 0.
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/commands.hpp"
#include "cli/recorder/group_text.hpp"
#include "cli/robot_link_access.hpp"
#include "toolkit/stop_signal.hpp"

namespace velmor::cli {
namespace {

using Clock = std::chrono::steady_clock;

template <class Range>
std::string Numbers(const Range& values) {
  std::string text;
  for (const double value : values) text += fmt::format("{}{:.4f}", text.empty() ? "" : " ", value);
  return text;
}

// Values in the robot's own units: the client converts nothing.
// Both streams' ages: actions() carries the basic stream's time stamp, so
// only the extra stream's own age tells stale commanded values.
std::string View(const qrk_impl::RobotLink& robot, double rate) {
  auto& stream = robot.Stream();
  const auto states = stream.GetStates(robot.Groups(), robot.Layout().start_ids, robot.Layout().dofs);
  std::string out = fmt::format("{}  protocol {}  basic stream {:.1f} Hz  latest sample {}\n", robot.Serial(),
                                robot.Version(), rate, AgeText(robot.BasicClock()));
  out += fmt::format("extra stream latest sample {}\n", AgeText(robot.ExtraClock()));
  if (!states.empty()) {
    const auto& stamp = states.begin()->second.timestamp;
    out += fmt::format("time stamp ({}, {})\n", stamp.first, stamp.second);
  }
  if (const auto io = ReadIo(robot)) {
    out += fmt::format("E-stop released {}  enabling device {}\ndigital inputs  {}\ndigital outputs {}\n",
                       io->estop_released ? "yes" : "no", io->enabling_device_on ? "on" : "off",
                       Bits(io->digital_inputs), Bits(io->digital_outputs));
  } else {
    out += "E-stop released unknown  enabling device unknown  (no sample yet)\n";
  }
  for (const auto& [group, state] : states) {
    out += fmt::format("{:<9} q         {}\n", GroupName(group), Numbers(state.q));
    out += fmt::format("{:<9} TCP pose  {}  (x y z, qw qx qy qz)\n", "", Numbers(state.tcp_pose));
  }
  return out;
}

}  // namespace

int RunMonitor(const CommandLine& line) {
  toolkit::InstallStopSignalHandlers();
  const auto robot = OpenRobotLink(line.serial);
  const qrk_impl::StreamClock& clock = robot->BasicClock();
  const bool terminal = isatty(STDOUT_FILENO) != 0;
  const auto period = terminal ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
  const auto start = Clock::now();
  const auto end =
      line.seconds > 0.0
          ? start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(line.seconds))
          : Clock::time_point::max();
  auto window_start = start;
  std::uint64_t window_samples = clock.Samples();
  auto next = start + period;
  while (!toolkit::StopRequested() && Clock::now() < end) {
    std::this_thread::sleep_until(std::min({next, end, Clock::now() + std::chrono::milliseconds(50)}));
    if (Clock::now() < next) continue;
    const auto now = Clock::now();
    const std::uint64_t samples = clock.Samples();
    const double rate =
        static_cast<double>(samples - window_samples) / std::chrono::duration<double>(now - window_start).count();
    window_start = now;
    window_samples = samples;
    next += period;
    const std::string view = View(*robot, rate);
    // Home and clear, then the view: redrawn in place.
    if (terminal) std::fputs("\x1b[H\x1b[2J", stdout);
    std::fputs(view.c_str(), stdout);
    if (!terminal) std::fputs("\n", stdout);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace velmor::cli
