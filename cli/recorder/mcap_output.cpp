#include "cli/recorder/mcap_output.hpp"

#include <map>

#include "cli/recorder/recording_description.hpp"

namespace velmor::cli {

foxglove::McapWriter CreateMcapFile(const std::string& path, const RecordingSetup& setup,
                                    foxglove::McapProfile profile) {
  foxglove::McapWriter writer(path, setup.compression, setup.overwrite, profile);
  if (!setup.joint_names.empty()) writer.SetJointNames(setup.joint_names);
  return writer;
}

void DescribeInMcap(foxglove::McapWriter& writer, const RecordingSetup& setup, const RecordingProgress& progress) {
  const RecordingDescription description = DescribeRecording(setup, progress);
  std::map<std::string, std::string> record;
  if (progress.end_time <= 0.0) {
    // Before the first chunk, and flushed: a recording killed at any moment
    // after this still says what it is of.
    AddAsText(record, description.identity);
    writer.WriteMetadata("robot", record);
    return;
  }
  AddAsText(record, {{"start_time", description.identity.at("start_time")}});
  // The `robot` record went out before the groups were known.
  if (setup.groups.CameLate()) AddAsText(record, {{"layout", description.identity.at("layout")}});
  AddAsText(record, description.outcome);
  AddAsText(record, description.basic, "basic_");
  AddAsText(record, description.extra, "extra_");
  writer.WriteMetadata("recording", record);
  writer.Finish();
}

void NoteGapInMcap(foxglove::McapWriter& writer, const StreamGap& gap) {
  std::map<std::string, std::string> record;
  AddAsText(record, DescribeGap(gap));
  writer.WriteMetadata("gap", record);
}

}  // namespace velmor::cli
