// qrk record: every sample of both streams, for a set time or until Ctrl-C
// or SIGTERM, into complete files; see recording.hpp for the files.
#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/commands.hpp"
#include "cli/recording.hpp"
#include "cli/robot_connection.hpp"
#include "cli/row_files_output.hpp"
#include "toolkit/stop_signal.hpp"

namespace velmor::cli {
namespace {

using Clock = std::chrono::steady_clock;

// What ended the recording.
std::string Record(Recording& recording, double seconds) {
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (Clock::now() < end) {
    if (toolkit::StopRequested()) return "signal";
    if (recording.Error()) return "write error";
    std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(20), end - Clock::now()));
  }
  return "time";
}

std::string Summary(const char* stream, const StreamCounts& counts) {
  return fmt::format("{} stream: {} samples received, {} written as {} rows, {} dropped, {} not fitting the layout",
                     stream, counts.received, counts.written, counts.rows, counts.dropped, counts.unfit);
}

}  // namespace

int RunRecord(const CommandLine& line) {
  toolkit::InstallStopSignalHandlers();
  std::error_code ignored;
  if (line.output.back() == '/' || std::filesystem::is_directory(line.output, ignored)) {
    std::fprintf(stderr, "qrk: record: %s is a directory; -o takes a path prefix such as %s/run1\n",
                 line.output.c_str(), line.output.c_str());
    return 1;
  }
  const auto robot = ConnectToRobot(line.serial);
  const RecordingSetup setup{robot->Serial(),      robot->Version(), robot->Groups(), robot->Layout().start_ids,
                             robot->Layout().dofs, line.format,      line.output};
  try {
    Recording recording(std::make_unique<RowFilesOutput>(setup));
    recording.Start(*robot);
    const std::string ended_by = Record(recording, line.seconds);
    recording.Finish(ended_by);
    const StreamCounts basic = recording.Basic();
    const StreamCounts extra = recording.Extra();
    std::printf("%s\n%s\nmetadata: %s\n", Summary("basic", basic).c_str(), Summary("extra", extra).c_str(),
                recording.DescriptionPath().c_str());
    if (const auto error = recording.Error()) {
      std::fprintf(stderr, "qrk: record: %s; the files keep every complete row written before it\n", error->c_str());
      return 1;
    }
    if (basic.dropped + extra.dropped > 0) {
      std::fprintf(stderr, "qrk: record: %llu samples dropped: writing did not keep up with the streams\n",
                   static_cast<unsigned long long>(basic.dropped + extra.dropped));
    }
    return 0;
  } catch (const WriteError& error) {
    std::fprintf(stderr, "qrk: record: %s\n", error.what());
    return 1;
  }
}

}  // namespace velmor::cli
