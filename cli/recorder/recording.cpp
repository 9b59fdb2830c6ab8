#include "cli/recorder/recording.hpp"

#include <chrono>
#include <utility>

#include "toolkit/write_error.hpp"

namespace velmor::cli {
namespace {

double Now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

// The start is described before the feed exists, so before any sample.
RecordingProgress Started(RecordingOutput& output) {
  RecordingProgress progress;
  progress.start_time = Now();
  output.Describe(progress);
  return progress;
}

}  // namespace

Recording::Recording(std::unique_ptr<RecordingOutput> output)
    : output_(std::move(output)), progress_(Started(*output_)), feed_(output_->BasicSink(), output_->ExtraSink()) {}

void Recording::Finish(const std::string& ended_by) {
  feed_.Finish();
  progress_.end_time = Now();
  progress_.ended_by = ended_by;
  progress_.complete = !Error();
  const RecordingProgress ended = Progress();
  progress_.empty = ended.basic.received + ended.extra.received == 0;
  output_->Describe(Progress());
}

std::optional<std::string> Recording::Error() const {
  if (auto error = feed_.Error()) return error;
  return error_;
}

void Recording::Tick() {
  if (error_) return;
  try {
    output_->Tick();
  } catch (const toolkit::WriteError& error) {
    error_ = error.what();
  }
}

RecordingProgress Recording::Progress() const {
  RecordingProgress progress = progress_;
  progress.basic = feed_.Basic();
  progress.extra = feed_.Extra();
  return progress;
}

}  // namespace velmor::cli
