// qrk record: every sample of both streams, for a set time or until Ctrl-C
// or SIGTERM, into complete files; see recording.hpp for the files.
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.hpp"
#include "cli/mcap_output.hpp"
#include "cli/recording.hpp"
#include "cli/robot_connection.hpp"
#include "cli/row_files_output.hpp"
#include "toolkit/stop_signal.hpp"

namespace velmor::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kProgressPeriod{200};

// One line on stderr, redrawn in place, while the recording runs on a
// terminal: elapsed and requested time, samples per stream, bytes, drops.
void ShowProgress(const Recording& recording, double elapsed, double seconds) {
  const StreamCounts basic = recording.Basic();
  const StreamCounts extra = recording.Extra();
  std::fprintf(stderr, "\r\x1b[2K%.1f / %.1f s  basic %llu  extra %llu samples  %.1f MB  %llu dropped", elapsed,
               seconds, static_cast<unsigned long long>(basic.received),
               static_cast<unsigned long long>(extra.received), static_cast<double>(recording.BytesWritten()) / 1e6,
               static_cast<unsigned long long>(basic.dropped + extra.dropped));
  std::fflush(stderr);
}

// What ended the recording.
std::string Record(Recording& recording, double seconds) {
  const bool terminal = isatty(STDERR_FILENO) != 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  auto next_view = start;
  std::string ended_by = "time";
  while (Clock::now() < end) {
    if (toolkit::StopRequested()) {
      ended_by = "signal";
      break;
    }
    if (recording.Error()) {
      ended_by = "write error";
      break;
    }
    if (terminal && Clock::now() >= next_view) {
      ShowProgress(recording, std::chrono::duration<double>(Clock::now() - start).count(), seconds);
      next_view += kProgressPeriod;
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(20), end - Clock::now()));
  }
  if (terminal) std::fputs("\r\x1b[2K", stderr);  // the summary takes the line's place
  return ended_by;
}

std::unique_ptr<RecordingOutput> MakeOutput(const RecordingSetup& setup, const CommandLine& line) {
  if (line.format != RecordFormat::kMcap) return std::make_unique<RowFilesOutput>(setup);
  return std::make_unique<McapOutput>(setup, line.compression);
}

// Earlier recordings are kept unless the user says otherwise.
std::vector<std::string> ExistingFiles(const CommandLine& line) {
  std::vector<std::string> existing;
  for (const std::string& path : OutputFiles(line.format, line.output)) {
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored)) existing.push_back(path);
  }
  return existing;
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
  if (const auto existing = ExistingFiles(line); !existing.empty() && !line.overwrite) {
    std::fprintf(stderr, "qrk: record: %s already exists; choose another -o PATH, or give --overwrite to replace it\n",
                 existing.front().c_str());
    return 1;
  }
  const auto robot = ConnectToRobot(line.serial);
  const RecordingSetup setup{robot->Serial(),      robot->Version(), robot->Groups(), robot->Layout().start_ids,
                             robot->Layout().dofs, line.format,      line.output};
  try {
    Recording recording(MakeOutput(setup, line));
    recording.Start(*robot);
    const std::string ended_by = Record(recording, line.seconds);
    recording.Finish(ended_by);
    const StreamCounts basic = recording.Basic();
    const StreamCounts extra = recording.Extra();
    std::printf("%s\n%s\n%s: %s\n", Summary("basic", basic).c_str(), Summary("extra", extra).c_str(),
                line.format == RecordFormat::kMcap ? "recording" : "metadata", recording.DescriptionPath().c_str());
    if (const auto error = recording.Error()) {
      std::fprintf(stderr, "qrk: record: %s; %s\n", error->c_str(),
                   line.format == RecordFormat::kMcap ? "the file keeps every chunk completed before it"
                                                      : "the files keep every complete row written before it");
      return 1;
    }
    if (basic.received + extra.received == 0) {
      std::fprintf(stderr,
                   "qrk: record: no sample received from %s: the robot answers queries but streams nothing "
                   "(see qrk monitor %s)%s\n",
                   robot->Serial().c_str(), robot->Serial().c_str(),
                   line.allow_empty ? "" : "; give --allow-empty to accept an empty recording");
      return line.allow_empty ? 0 : 1;
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
