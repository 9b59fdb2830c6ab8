// qrk monitor: a live view of one robot. On a terminal the view is redrawn
// in place ten times a second, cut to the terminal's height so that its
// first lines stay in sight; otherwise one plain block a second, so that
// the output can be logged or piped. Ctrl-C, SIGTERM, SIGHUP (a closed
// terminal) or --seconds end it with status 0.
#include <fmt/format.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "cli/commands.hpp"
#include "cli/common/group_text.hpp"
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
  const auto actions = stream.GetActions(robot.Groups(), robot.Layout().start_ids, robot.Layout().dofs);
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
  // Measured, then commanded (an extra sample that does not fit the layout
  // has no commanded values to show).
  for (const auto& [group, state] : states) {
    out += fmt::format("{:<9} q           {}\n", GroupName(group), Numbers(state.q));
    out += fmt::format("{:<9} TCP pose    {}  (x y z, qw qx qy qz)\n", "", Numbers(state.tcp_pose));
    const auto commanded = actions.find(group);
    if (commanded == actions.end()) continue;
    out += fmt::format("{:<9} q_d         {}\n", "", Numbers(commanded->second.q_d));
    out += fmt::format("{:<9} TCP pose_d  {}\n", "", Numbers(commanded->second.tcp_pose_d));
  }
  return out;
}

// The terminal's size, rows and columns; nothing when it does not say.
std::optional<winsize> TerminalSize() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return std::nullopt;
  return size;
}

// As much of the view as a terminal shows without scrolling, long lines
// wrapped: the first lines, which say whether the data is live, must never
// scroll away. What is cut is counted on the last row.
std::string FitToTerminal(const std::string& view, const winsize& size) {
  std::string shown;
  std::size_t rows = 0;
  std::size_t start = 0;
  while (start < view.size()) {
    const std::size_t end = view.find('\n', start);
    if (end == std::string::npos) break;  // every line of a view ends in one
    const std::size_t length = end - start;
    const std::size_t needed = std::max<std::size_t>(1, (length + size.ws_col - 1) / size.ws_col);
    // One row is kept for the note (and the cursor after it).
    if (rows + needed + 1 > size.ws_row) break;
    shown.append(view, start, end + 1 - start);
    rows += needed;
    start = end + 1;
  }
  if (start >= view.size()) return shown;
  const auto cut =
      static_cast<std::size_t>(std::count(view.begin() + static_cast<std::ptrdiff_t>(start), view.end(), '\n'));
  return shown + fmt::format("({} more lines: a taller terminal shows them)", cut);
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
    std::string view = View(*robot, rate);
    // Home and clear, then the view: redrawn in place.
    if (terminal) {
      if (const auto size = TerminalSize()) view = FitToTerminal(view, *size);
      std::fputs("\x1b[H\x1b[2J", stdout);
    }
    std::fputs(view.c_str(), stdout);
    if (!terminal) std::fputs("\n", stdout);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace velmor::cli
