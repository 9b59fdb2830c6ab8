#pragma once
// A recording as one self-contained MCAP file, PATH.mcap: the metadata
// record `robot` (what the recording is of) before the first chunk, every
// sample of both streams under qrk's Foxglove topics (foxglove_topics.hpp),
// chunked and compressed, and the metadata record `recording` (how it went)
// when it ends, before the summary and footer. The two streams' writer
// threads share the file; the writer serialises them.
#include <cstdint>
#include <memory>
#include <string>

#include "cli/recorder/foxglove_topics.hpp"
#include "cli/recorder/recording_output.hpp"
#include "foxglove/mcap_writer.hpp"

namespace velmor::cli {

class McapOutput final : public RecordingOutput {
 public:
  /// Creates PATH.mcap with every topic, exclusively unless the setup says
  /// overwrite. Throws WriteError (FileExists).
  explicit McapOutput(const RecordingSetup& setup);

  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic_; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra_; }
  /// At the start the `robot` metadata record (the description's identity);
  /// at the end the `recording` record (its start time, its outcome and per
  /// stream the counts, as basic_received, ...; and the layout when the
  /// groups came late, after `robot` was written), then the summary and
  /// footer.
  void Describe(const RecordingProgress& progress) override;
  /// A metadata record `gap` (DescribeGap's keys) per break, as it ends, so
  /// that a file cut short still has them.
  void NoteGap(const StreamGap& gap) override;

 private:
  RecordingSetup setup_;
  foxglove::McapWriter writer_;
  FoxgloveTopics<foxglove::McapWriter> topics_;
  TopicSink<foxglove::McapWriter, qrk_impl::BasicStreamData> basic_;
  TopicSink<foxglove::McapWriter, qrk_impl::ExtraStreamData> extra_;
};

}  // namespace velmor::cli
