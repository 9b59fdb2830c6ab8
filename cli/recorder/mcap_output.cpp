#include "cli/recorder/mcap_output.hpp"

#include <fmt/format.h>

#include <filesystem>
#include <map>

#ifndef VELMOR_VERSION
#define VELMOR_VERSION "unknown"
#endif

namespace velmor::cli {
namespace {

void AddCounts(std::map<std::string, std::string>& entries, const std::string& stream, const StreamCounts& counts) {
  entries[stream + "_received"] = std::to_string(counts.received);
  entries[stream + "_written"] = std::to_string(counts.written);
  entries[stream + "_dropped"] = std::to_string(counts.dropped);
  entries[stream + "_unfit"] = std::to_string(counts.unfit);
}

}  // namespace

McapOutput::McapOutput(const RecordingSetup& setup, foxglove::Compression compression)
    : setup_(setup),
      path_(setup_.prefix + ".mcap"),
      writer_(path_, compression, setup_.overwrite),
      topics_(writer_, setup_.groups, setup_.start_ids, setup_.dofs),
      basic_(topics_),
      extra_(topics_) {}

void McapOutput::Describe(const RecordingProgress& progress) {
  if (progress.end_time <= 0.0) {
    // Before the first chunk, and flushed: a recording killed at any moment
    // after this still says what it is of.
    writer_.WriteMetadata("robot", {
                                       {"serial", setup_.serial},
                                       {"version", setup_.version},
                                       {"layout", LayoutJson(setup_)},
                                       {"qrk_version", VELMOR_VERSION},
                                       {"start_time", fmt::format("{:.6f}", progress.start_time)},
                                   });
    return;
  }
  std::map<std::string, std::string> entries{
      {"start_time", fmt::format("{:.6f}", progress.start_time)},
      {"end_time", fmt::format("{:.6f}", progress.end_time)},
      {"complete", progress.complete ? "true" : "false"},
      {"empty", progress.empty ? "true" : "false"},
      {"ended_by", progress.ended_by},
  };
  AddCounts(entries, "basic", progress.basic);
  AddCounts(entries, "extra", progress.extra);
  writer_.WriteMetadata("recording", entries);
  writer_.Finish();
}

std::uint64_t McapOutput::BytesWritten() const {
  std::error_code error;
  const auto size = std::filesystem::file_size(path_, error);
  return error ? 0 : size;
}

}  // namespace velmor::cli
