#include "cli/recorder/snapshot_files.hpp"

#include <fmt/format.h>

#include <cmath>
#include <ctime>
#include <utility>

#include "cli/recorder/file_series.hpp"
#include "cli/recorder/record_format.hpp"

namespace velmor::cli {
namespace {

// 20261210T011500.250Z: the event's time, sortable as text.
std::string Stamp(double time) {
  const double whole = std::floor(time);
  const auto seconds = static_cast<std::time_t>(whole);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
  const int millis = std::min(999, static_cast<int>(std::lround((time - whole) * 1000.0)));
  return fmt::format("{}.{:03}Z", text, millis);
}

std::string Joined(const std::vector<std::string>& labels) {
  std::string joined;
  for (const std::string& label : labels) joined += (joined.empty() ? "" : "+") + label;
  return joined;
}

std::vector<std::string> Endings(RecordFormat format) {
  std::vector<std::string> endings;
  for (const std::string_view suffix : FormatOf(format).suffixes) endings.emplace_back(suffix);
  return endings;
}

// The counts of one stream of a snapshot: all it was handed, so nothing
// received is dropped but what the ring lost.
void Count(StreamCounts& counts, const SampleRecords& made) {
  ++counts.received;
  ++(made.fits ? counts.written : counts.unfit);
  counts.records += made.records;
}

}  // namespace

struct SnapshotFiles::Open {
  std::string stem;  // PATH-snap-STAMP, to which ".active" or the labels are added
  std::unique_ptr<RecordingOutput> output;
  RecordingProgress progress;
  std::uint64_t lost = 0;
};

SnapshotFiles::SnapshotFiles(RecordingSetup setup) : setup_(std::move(setup)) {}

SnapshotFiles::~SnapshotFiles() = default;

void SnapshotFiles::WriteFrom(SnapshotRing& ring) {
  while (auto part = ring.Drain()) {
    if (!open_) Begin(*part);
    for (const auto& sample : part->samples) Write(*sample);
    open_->lost += part->lost;
    if (part->finished) Finish(*part);
  }
}

void SnapshotFiles::Begin(const SnapshotPart& part) {
  auto open = std::make_unique<Open>();
  open->stem = fmt::format("{}-snap-{}", setup_.prefix, Stamp(part.first_event_time));
  RecordingSetup setup = setup_;
  setup.prefix = open->stem + ".active";
  setup.complete_prefix.clear();
  setup.overwrite = false;
  open->output = FormatOf(setup.format).create(setup);
  open->progress.start_time = part.first_event_time;
  open->output->Describe(open->progress);
  open_ = std::move(open);
}

void SnapshotFiles::Write(const KeptSample& sample) {
  RecordingProgress& progress = open_->progress;
  if (progress.basic.received + progress.extra.received == 0) progress.start_time = sample.stamp.receive_time;
  progress.end_time = std::max(progress.end_time, sample.stamp.receive_time);
  if (sample.stream == StreamKind::kBasic) {
    Count(progress.basic, open_->output->BasicSink().Write(sample.stamp, Rebuild<qrk_impl::BasicStreamData>(sample)));
  } else {
    Count(progress.extra, open_->output->ExtraSink().Write(sample.stamp, Rebuild<qrk_impl::ExtraStreamData>(sample)));
  }
  // Row files collect their text until committed (which writes once enough
  // has collected): else a window's rows, many times the ring's bytes, would
  // all be held until its end.
  open_->output->BasicSink().Commit(false);
  open_->output->ExtraSink().Commit(false);
}

void SnapshotFiles::Finish(const SnapshotPart& part) {
  Open& open = *open_;
  open.output->BasicSink().Commit(true);
  open.output->ExtraSink().Commit(true);
  RecordingProgress& progress = open.progress;
  if (progress.end_time <= 0.0) progress.end_time = part.first_event_time;
  progress.complete = true;
  progress.empty = progress.basic.received + progress.extra.received == 0;
  progress.ended_by =
      open.lost == 0 ? "snapshot" : fmt::format("snapshot, {} samples lost to --snapshot-memory", open.lost);
  for (const SnapshotEvent& event : part.events) progress.events.push_back({event.label, event.time});
  const std::string complete = open.stem + "-" + Joined(part.labels);
  progress.complete_prefix = complete;
  open.output->Describe(progress);
  closed_bytes_ += open.output->BytesWritten();
  CompleteFiles(open.stem + ".active", complete, Endings(setup_.format));
  completed_.push_back(complete);
  open_.reset();
}

std::string SnapshotFiles::DescriptionPath() const {
  return completed_.empty() ? std::string() : OutputFiles(setup_.format, completed_.back()).back();
}

std::uint64_t SnapshotFiles::BytesWritten() const {
  return closed_bytes_ + (open_ ? open_->output->BytesWritten() : 0);
}

}  // namespace velmor::cli
