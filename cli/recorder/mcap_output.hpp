#pragma once
// A recording as one self-contained MCAP file, PATH.mcap: the metadata
// record `robot` (what the recording is of) before the first chunk, every
// sample of both streams under the Plan's topics (foxglove_topics.hpp for
// Foxglove and PlotJuggler, ros2_topics.hpp for ROS 2's tools, whose files
// have the header profile `ros2`), chunked and compressed, and the metadata
// record `recording` (how it went) when it ends, before the summary and
// footer. The two streams' writer threads share the file; the writer
// serialises them.
#include <cstdint>
#include <memory>
#include <string>

#include "cli/recorder/foxglove_topics.hpp"
#include "cli/recorder/record_format.hpp"
#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/ros2_topics.hpp"
#include "foxglove/mcap_writer.hpp"

namespace velmor::cli {

/// Creates the file of a recording with `setup`'s joint names. Throws
/// WriteError (FileExists).
foxglove::McapWriter CreateMcapFile(const std::string& path, const RecordingSetup& setup,
                                    foxglove::McapProfile profile);

/// Writes `setup`'s description to `writer` as McapOutput::Describe says.
void DescribeInMcap(foxglove::McapWriter& writer, const RecordingSetup& setup, const RecordingProgress& progress);

/// Writes a metadata record `gap` to `writer` as McapOutput::NoteGap says.
void NoteGapInMcap(foxglove::McapWriter& writer, const StreamGap& gap);

template <class Plan>
class McapOutput final : public RecordingOutput {
 public:
  /// Creates PATH.mcap with every topic, exclusively unless the setup says
  /// overwrite. Throws WriteError (FileExists).
  explicit McapOutput(const RecordingSetup& setup)
      : RecordingOutput(OutputFiles(setup.format, setup.prefix)),
        setup_(setup),
        writer_(CreateMcapFile(DescriptionPath(), setup_, Plan::kProfile)),
        topics_(writer_, setup_.groups, setup_.start_ids, setup_.dofs),
        basic_(topics_),
        extra_(topics_) {}

  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic_; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra_; }
  /// At the start the `robot` metadata record (the description's identity);
  /// at the end the `recording` record (its start time, its outcome and per
  /// stream the counts, as basic_received, ...; and the layout when the
  /// groups came late, after `robot` was written), then the summary and
  /// footer.
  void Describe(const RecordingProgress& progress) override { DescribeInMcap(writer_, setup_, progress); }
  /// A metadata record `gap` (DescribeGap's keys) per break, as it ends, so
  /// that a file cut short still has them.
  void NoteGap(const StreamGap& gap) override { NoteGapInMcap(writer_, gap); }

 private:
  using Topics = SampleTopics<foxglove::McapWriter, Plan>;

  RecordingSetup setup_;
  foxglove::McapWriter writer_;
  Topics topics_;
  TopicSink<Topics, qrk_impl::BasicStreamData> basic_;
  TopicSink<Topics, qrk_impl::ExtraStreamData> extra_;
};

}  // namespace velmor::cli
