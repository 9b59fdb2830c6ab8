// qrk record: every sample of both streams, for a set time or until Ctrl-C,
// SIGTERM or SIGHUP, into complete files, or a series of them
// (series_output.hpp); see recording.hpp for the files. A second such signal
// while the files are being finished ends it at once.
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.hpp"
#include "cli/recorder/record_format.hpp"
#include "cli/recorder/recording.hpp"
#include "cli/recorder/series_output.hpp"
#include "cli/recorder/snapshot_output.hpp"
#include "cli/robot_link_access.hpp"
#include "toolkit/mark_signal.hpp"
#include "toolkit/stop_signal.hpp"

namespace velmor::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kProgressPeriod{200};

// One line on stderr, redrawn in place, while the recording runs on a
// terminal: elapsed and requested time, samples per stream, bytes, drops.
void ShowProgress(const Recording& recording, double elapsed, double seconds) {
  const StreamCounts basic = recording.Feed().Basic();
  const StreamCounts extra = recording.Feed().Extra();
  const std::string time =
      seconds > 0.0 ? fmt::format("{:.1f} / {:.1f} s", elapsed, seconds) : fmt::format("{:.1f} s", elapsed);
  std::fprintf(stderr, "\r\x1b[2K%s  basic %llu  extra %llu samples  %.1f MB  %llu dropped", time.c_str(),
               static_cast<unsigned long long>(basic.received), static_cast<unsigned long long>(extra.received),
               static_cast<double>(recording.BytesWritten()) / 1e6,
               static_cast<unsigned long long>(basic.dropped + extra.dropped));
  std::fflush(stderr);
}

double Now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

// What ended the recording: `seconds` (0: no end but a stop signal).
// `snapshots`, when taken, hears of each operator's mark.
std::string Record(Recording& recording, double seconds, SnapshotOutput* snapshots) {
  const bool terminal = isatty(STDERR_FILENO) != 0;
  const auto start = Clock::now();
  const auto end = seconds > 0.0
                       ? start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))
                       : Clock::time_point::max();
  auto next_view = start;
  std::string ended_by = "time";
  while (Clock::now() < end) {
    if (toolkit::StopRequested()) {
      ended_by = "signal";
      break;
    }
    if (snapshots != nullptr && toolkit::TakeMarks() > 0) snapshots->Mark(Now());
    recording.Tick();
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

bool Splits(const CommandLine& line) { return line.split_seconds || line.split_bytes; }

std::optional<SplitPolicy> SplitPolicyOf(const CommandLine& line) {
  if (!Splits(line)) return std::nullopt;
  return SplitPolicy{line.split_seconds, line.split_bytes, Retention{line.keep_bytes, line.keep_files}};
}

// With --snapshot, everything is recorded at PATH only when asked to.
bool RecordsContinuously(const CommandLine& line) { return !line.snapshot || line.continuous || Splits(line); }

std::optional<SnapshotPolicy> SnapshotPolicyOf(const CommandLine& line) {
  if (!line.snapshot) return std::nullopt;
  return SnapshotPolicy{line.snapshot->first, line.snapshot->second,
                        line.snapshot_memory.value_or(SnapshotRing::kDefaultMaxBytes),
                        ParseEventTriggers(line.snapshot_on)};
}

// The continuous recording, and the snapshots around it when taken.
std::unique_ptr<RecordingOutput> OutputOf(const CommandLine& line, const RecordingSetup& setup,
                                          qrk_impl::RobotLink& robot, SeriesOutput*& series,
                                          SnapshotOutput*& snapshots) {
  std::unique_ptr<SeriesOutput> continuous;
  if (RecordsContinuously(line)) {
    continuous = std::make_unique<SeriesOutput>(setup, SplitPolicyOf(line), [&robot] { return AskShape(robot); });
    series = continuous.get();
  }
  const auto policy = SnapshotPolicyOf(line);
  if (!policy) return continuous;
  auto output = std::make_unique<SnapshotOutput>(setup, *policy, std::move(continuous));
  snapshots = output.get();
  return output;
}

// Earlier recordings are kept unless the user says otherwise. This only
// gives the early message; the files' exclusive creation is the guard (another
// recorder may create them after this look). A series never meets its own
// earlier files: it numbers on after them.
std::vector<std::string> ExistingFiles(const CommandLine& line) {
  std::vector<std::string> existing;
  if (Splits(line) || !RecordsContinuously(line)) return existing;
  for (const std::string& path : OutputFiles(line.format, line.output)) {
    std::error_code ignored;
    // A symlink counts, even a dangling one: it would not be written through.
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) existing.push_back(path);
  }
  return existing;
}

void SayExists(const std::string& what) {
  std::fprintf(stderr, "qrk: record: %s; choose another -o PATH, or give --overwrite to replace it\n", what.c_str());
}

// What a second stop signal leaves undone, said by the handler as it ends the
// program at once (so prepared before). On a terminal it starts a line of its
// own after the echoed ^C.
std::string UnfinishedMessage(const CommandLine& line) {
  std::string what(FormatOf(line.format).left_unfinished);
  // The series' open piece is not known yet: it is the one still ".active".
  const auto files = OutputFiles(line.format, Splits(line) ? line.output + "-*.active" : line.output);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string mark = "{" + std::to_string(i) + "}";
    for (auto at = what.find(mark); at != std::string::npos; at = what.find(mark, at + files[i].size())) {
      what.replace(at, mark.size(), files[i]);
    }
  }
  return fmt::format("{}qrk: record: stopped at once: {}", isatty(STDERR_FILENO) != 0 ? "\n" : "", what);
}

std::string Summary(const char* stream, const StreamCounts& counts, const FormatEntry& format) {
  return fmt::format("{} stream: {} samples received, {} written as {} {}, {} dropped, {} not fitting the layout\n",
                     stream, counts.received, counts.written, counts.records, format.record_name, counts.dropped,
                     counts.unfit);
}

// Without a continuous recording the streams only pass through the ring.
std::string KeptSummary(const char* stream, const StreamCounts& counts) {
  return fmt::format("{} stream: {} samples received, {} kept for snapshots, {} dropped\n", stream, counts.received,
                     counts.written + counts.unfit, counts.dropped);
}

// The closing summary's line on a series: its pieces completed, and the
// files the retention deleted.
std::string SeriesLine(const SeriesOutput& output) {
  const auto& completed = output.Completed();
  std::string line = fmt::format("series: {} pieces completed", completed.size());
  if (!completed.empty()) {
    line += fmt::format(" ({} to {})", std::filesystem::path(completed.front()).filename().string(),
                        std::filesystem::path(completed.back()).filename().string());
  }
  return line + fmt::format(", {} files deleted by --keep-bytes or --keep-files", output.Deleted().size());
}

// The closing summary's line on snapshots: how many, the last one's name,
// and how much of the ring's cap the window took.
std::string SnapshotLine(const SnapshotOutput& output) {
  const auto& written = output.Snapshots().Completed();
  std::string line = fmt::format("snapshots: {} written", written.size());
  if (!written.empty()) line += fmt::format(" (last {})", std::filesystem::path(written.back()).filename().string());
  const auto ring = output.RingFigures();
  return line + fmt::format(", window held {:.1f} s in {:.1f} MB, {} samples cut by --snapshot-memory", ring.span,
                            static_cast<double>(ring.bytes) / 1e6, ring.evicted_early);
}

}  // namespace

int RunRecord(const CommandLine& line) {
  toolkit::InstallStopSignalHandlers();
  if (line.snapshot) toolkit::InstallMarkSignalHandler();
  std::error_code ignored;
  if (line.output.back() == '/' || std::filesystem::is_directory(line.output, ignored)) {
    std::fprintf(stderr, "qrk: record: %s is a directory; -o takes a path prefix such as %s/run1\n",
                 line.output.c_str(), line.output.c_str());
    return 1;
  }
  if (const auto existing = ExistingFiles(line); !existing.empty() && !line.overwrite) {
    SayExists(existing.front() + " already exists");
    return 1;
  }
  JointNameMap names;
  try {
    // Read before connecting: a wrong file is said at once.
    if (!line.joint_names.empty()) names = ReadJointNames(line.joint_names);
  } catch (const JointNamesError& error) {
    std::fprintf(stderr, "qrk: record: --joint-names %s\n", error.what());
    return 1;
  }
  const auto robot = OpenRobotLink(line.serial);
  const FormatEntry& format = FormatOf(line.format);
  try {
    // The joint names are checked against the robot's joints here.
    const RecordingSetup setup{robot->Serial(),
                               robot->Version(),
                               GroupsToRecord(*robot),
                               robot->Layout().start_ids,
                               robot->Layout().dofs,
                               line.format,
                               line.compression,
                               line.output,
                               line.overwrite,
                               JointNamesOf(*robot, names, line.joint_names),
                               {},
                               line.all_fields};
    SeriesOutput* series = nullptr;
    SnapshotOutput* snapshots = nullptr;
    Recording recording(OutputOf(line, setup, *robot, series, snapshots));
    toolkit::ExitOnSecondStop(UnfinishedMessage(line));
    recording.Start(*robot);
    const std::string ended_by = Record(recording, line.seconds, snapshots);
    // Finishing writes what is queued and describes the recording as far as
    // it can, even after an error; the counts are said in any case.
    std::optional<std::string> error;
    try {
      recording.Finish(ended_by);
    } catch (const std::exception& finish_error) {
      error = finish_error.what();
    }
    toolkit::StayOnSecondStop();
    if (auto first = recording.Error()) error = std::move(first);
    const StreamCounts basic = recording.Feed().Basic();
    const StreamCounts extra = recording.Feed().Extra();
    // A failed recording says everything on stderr, where its error is.
    if (RecordsContinuously(line)) {
      std::fprintf(error ? stderr : stdout, "%s%s%s: %s\n", Summary("basic", basic, format).c_str(),
                   Summary("extra", extra, format).c_str(), std::string(format.description_name).c_str(),
                   recording.DescriptionPath().c_str());
    } else {
      std::fprintf(error ? stderr : stdout, "%s%s", KeptSummary("basic", basic).c_str(),
                   KeptSummary("extra", extra).c_str());
    }
    if (const auto late = LateGroupsLine(setup.groups)) std::fprintf(error ? stderr : stdout, "%s\n", late->c_str());
    if (series != nullptr && (Splits(line) || !series->Completed().empty()))
      std::fprintf(error ? stderr : stdout, "%s\n", SeriesLine(*series).c_str());
    if (snapshots != nullptr) std::fprintf(error ? stderr : stdout, "%s\n", SnapshotLine(*snapshots).c_str());
    if (error) {
      std::fprintf(stderr, "qrk: record: %s; %s\n", error->c_str(), std::string(format.kept_after_failure).c_str());
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
  } catch (const FileExists& error) {  // created by another recorder since the look above
    SayExists(error.what());
    return 1;
  } catch (const WriteError& error) {
    std::fprintf(stderr, "qrk: record: %s\n", error.what());
    return 1;
  } catch (const JointNamesError& error) {
    std::fprintf(stderr, "qrk: record: --joint-names %s\n", error.what());
    return 1;
  }
}

}  // namespace velmor::cli
