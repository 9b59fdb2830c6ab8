#include "cli/recorder/record_format.hpp"

#include <stdexcept>

#include "cli/recorder/mcap_output.hpp"
#include "cli/recorder/ros2_topics.hpp"
#include "cli/recorder/row_files_output.hpp"

namespace velmor::cli {
namespace {

template <class Output>
std::unique_ptr<RecordingOutput> Create(const RecordingSetup& setup) {
  return std::make_unique<Output>(setup);
}

std::unique_ptr<RecordingOutput> CreateRos2(const RecordingSetup& setup) {
  return WithRos2Plan(setup.all_fields, [&](auto plan) { return Create<McapOutput<decltype(plan)>>(setup); });
}

constexpr std::string_view kRowsKept = "the files keep every complete row written before it";
constexpr std::string_view kRowsUnfinished =
    "{0} and {1} lack the samples still queued and may end in a cut-off row; {2} says \"complete\": false";
constexpr std::string_view kMcapKept = "the file keeps every chunk completed before it";
constexpr std::string_view kMcapUnfinished =
    "{0} is not finished: the samples still queued, the last chunk, the counts record, the summary and the footer "
    "are missing; its completed chunks are readable (mcap recover rebuilds the rest)";

// A recording as rows: a file per stream, and the description beside them.
// The suffixes are literals: the table keeps views of them.
FormatEntry RowsFormat(RecordFormat format, std::string_view name, std::string_view basic, std::string_view extra) {
  return {
      format,     name,
      "rows",     {basic, extra, ".meta.json"},
      "metadata", "rows",
      kRowsKept,  kRowsUnfinished,
      false,      &Create<RowFilesOutput>,
  };
}

// A recording as one MCAP file, made by `create`.
FormatEntry McapFormat(RecordFormat format, std::string_view name, std::string_view purpose,
                       std::unique_ptr<RecordingOutput> (*create)(const RecordingSetup&)) {
  return {
      format, name, purpose, {".mcap"}, "recording", "messages", kMcapKept, kMcapUnfinished, true, create,
  };
}

}  // namespace

const std::vector<FormatEntry>& RecordFormats() {
  static const std::vector<FormatEntry> formats{
      RowsFormat(RecordFormat::kCsv, "csv", ".basic.csv", ".extra.csv"),
      RowsFormat(RecordFormat::kJsonl, "jsonl", ".basic.jsonl", ".extra.jsonl"),
      McapFormat(RecordFormat::kMcap, "mcap", "one file for Foxglove and PlotJuggler",
                 &Create<McapOutput<FoxglovePlan>>),
      McapFormat(RecordFormat::kRos2, "ros2", "one file of standard ROS 2 messages for ros2 bag and ROS 2's tools",
                 &CreateRos2),
  };
  return formats;
}

const FormatEntry& FormatOf(RecordFormat format) {
  for (const FormatEntry& entry : RecordFormats()) {
    if (entry.format == format) return entry;
  }
  throw std::logic_error("a record format without an entry");
}

std::vector<std::string> OutputFiles(RecordFormat format, const std::string& prefix) {
  std::vector<std::string> files;
  for (const std::string_view suffix : FormatOf(format).suffixes) files.push_back(prefix + std::string(suffix));
  return files;
}

}  // namespace velmor::cli
