#include "cli/recorder/mcap_output.hpp"

#include <map>

#include "cli/recorder/record_format.hpp"
#include "cli/recorder/recording_description.hpp"

namespace velmor::cli {

McapOutput::McapOutput(const RecordingSetup& setup)
    : RecordingOutput(OutputFiles(setup.format, setup.prefix)),
      setup_(setup),
      writer_(DescriptionPath(), setup_.compression, setup_.overwrite),
      topics_(writer_, setup_.groups, setup_.start_ids, setup_.dofs),
      basic_(topics_),
      extra_(topics_) {}

void McapOutput::Describe(const RecordingProgress& progress) {
  const RecordingDescription description = DescribeRecording(setup_, progress);
  std::map<std::string, std::string> record;
  if (progress.end_time <= 0.0) {
    // Before the first chunk, and flushed: a recording killed at any moment
    // after this still says what it is of.
    AddAsText(record, description.identity);
    writer_.WriteMetadata("robot", record);
    return;
  }
  AddAsText(record, {{"start_time", description.identity.at("start_time")}});
  // The `robot` record went out before the groups were known.
  if (setup_.groups.CameLate()) AddAsText(record, {{"layout", description.identity.at("layout")}});
  AddAsText(record, description.outcome);
  AddAsText(record, description.basic, "basic_");
  AddAsText(record, description.extra, "extra_");
  writer_.WriteMetadata("recording", record);
  writer_.Finish();
}

void McapOutput::NoteGap(const StreamGap& gap) {
  std::map<std::string, std::string> record;
  AddAsText(record, DescribeGap(gap));
  writer_.WriteMetadata("gap", record);
}

}  // namespace velmor::cli
