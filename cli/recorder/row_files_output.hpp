#pragma once
// A recording as rows: PATH.basic.EXT and PATH.extra.EXT (CSV or JSON
// Lines, see record_rows.hpp) described by PATH.meta.json, which is always
// written through a temporary file and a rename, so never half written.
// Every file is created exclusively unless the setup says overwrite.
#include <memory>
#include <string>
#include <vector>

#include "cli/recorder/record_rows.hpp"
#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/row_sink.hpp"

namespace velmor::cli {

class RowFilesOutput final : public RecordingOutput {
 public:
  /// Creates both row files, with their headers when the groups are known
  /// (else with the first row). Throws WriteError (FileExists when one is
  /// there and the setup does not say overwrite).
  explicit RowFilesOutput(const RecordingSetup& setup);

  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic_; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra_; }
  void Describe(const RecordingProgress& progress) override;

 private:
  RecordingSetup setup_;
  RowSink<qrk_impl::BasicStreamData> basic_;
  RowSink<qrk_impl::ExtraStreamData> extra_;
  bool described_ = false;
};

}  // namespace velmor::cli
