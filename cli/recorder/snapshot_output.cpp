#include "cli/recorder/snapshot_output.hpp"

#include <exception>
#include <utility>

#include "services/robot_io.hpp"

namespace velmor::cli {

SnapshotOutput::SnapshotOutput(const RecordingSetup& setup, const SnapshotPolicy& policy,
                               std::unique_ptr<RecordingOutput> continuous)
    : RecordingOutput(continuous ? continuous->Files() : std::vector<std::string>{}),
      continuous_(std::move(continuous)),
      ring_(policy.pre_seconds, policy.post_seconds, policy.max_bytes),
      detector_(policy.triggers),
      basic_(ring_, StreamKind::kBasic, continuous_ ? &continuous_->BasicSink() : nullptr,
             [this](const SampleStamp& stamp, const qrk_impl::BasicStreamData& sample) { OnBasic(stamp, sample); }),
      extra_(ring_, StreamKind::kExtra, continuous_ ? &continuous_->ExtraSink() : nullptr),
      files_(setup) {}

void SnapshotOutput::OnBasic(const SampleStamp& stamp, const qrk_impl::BasicStreamData& sample) {
  for (const DetectedEvent& event : detector_.Observe(stamp, qrk_impl::IoOf(sample))) {
    ring_.Trigger(event.trigger.Label(), event.receive_time);
  }
}

void SnapshotOutput::Describe(const RecordingProgress& progress) {
  if (progress.end_time <= 0.0) {
    if (continuous_) continuous_->Describe(progress);
    return;
  }
  std::exception_ptr failure;
  try {
    ring_.Close();
    files_.WriteFrom(ring_);
  } catch (...) {
    failure = std::current_exception();
  }
  if (continuous_) continuous_->Describe(progress);
  if (failure) std::rethrow_exception(failure);
}

void SnapshotOutput::NoteGap(const StreamGap& gap) {
  if (continuous_) continuous_->NoteGap(gap);
}

void SnapshotOutput::Tick() {
  if (continuous_) continuous_->Tick();
  files_.WriteFrom(ring_);
}

std::string SnapshotOutput::DescriptionPath() const {
  return continuous_ ? continuous_->DescriptionPath() : files_.DescriptionPath();
}

std::uint64_t SnapshotOutput::BytesWritten() const {
  return (continuous_ ? continuous_->BytesWritten() : 0) + files_.BytesWritten();
}

}  // namespace velmor::cli
