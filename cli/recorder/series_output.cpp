#include "cli/recorder/series_output.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

namespace velmor::cli {
namespace {

double Now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

std::vector<std::string> Endings(RecordFormat format) {
  std::vector<std::string> endings;
  for (const std::string_view suffix : FormatOf(format).suffixes) endings.emplace_back(suffix);
  return endings;
}

// What a closed piece held of one stream: the samples numbered from its
// first to its last taken are its received ones, those it did not take
// dropped. The next piece's first is the number after its last.
StreamCounts ClosedCounts(const PieceTaken& taken, std::uint64_t first, std::uint64_t& next_first) {
  StreamCounts counts = taken.counts;
  next_first = taken.last_sample ? *taken.last_sample + 1 : first;
  counts.received = next_first - first;
  counts.dropped = counts.received - counts.written - counts.unfit;
  return counts;
}

std::uint64_t Less(std::uint64_t total, std::uint64_t part) { return total > part ? total - part : 0; }

StreamCounts Remainder(const StreamCounts& total, const StreamCounts& closed) {
  return {Less(total.received, closed.received), Less(total.written, closed.written),
          Less(total.dropped, closed.dropped), Less(total.unfit, closed.unfit), Less(total.records, closed.records)};
}

void Add(StreamCounts& sum, const StreamCounts& counts) {
  sum.received += counts.received;
  sum.written += counts.written;
  sum.dropped += counts.dropped;
  sum.unfit += counts.unfit;
  sum.records += counts.records;
}

}  // namespace

struct SeriesOutput::Piece {
  std::optional<SeriesPiece> name;  // none for the one piece of a recording not split
  std::unique_ptr<RecordingOutput> output;
  double start_time = 0.0;
  std::uint64_t basic_first = 0;
  std::uint64_t extra_first = 0;
  std::vector<StreamGap> gaps;  // under the basic sink's mutex while open
};

SeriesOutput::SeriesOutput(const RecordingSetup& setup, std::optional<SplitPolicy> policy, LayoutQuery ask)
    : RecordingOutput(OutputFiles(setup.format, setup.prefix)),
      setup_(setup),
      policy_(std::move(policy)),
      series_(policy_ ? std::optional<FileSeries>(std::in_place, setup.prefix, Endings(setup.format)) : std::nullopt),
      open_(OpenPiece(Now())),
      basic_(open_->output->BasicSink(), [this](const SampleStamp& stamp) { OnBasicSample(stamp); }),
      extra_(open_->output->ExtraSink()),
      ask_(std::move(ask)) {}

SeriesOutput::~SeriesOutput() = default;

std::unique_ptr<SeriesOutput::Piece> SeriesOutput::OpenPiece(double start_time) {
  auto piece = std::make_unique<Piece>();
  RecordingSetup setup = setup_;
  if (series_) {
    piece->name = series_->Next(start_time);
    setup.prefix = piece->name->ActivePrefix();
    setup.complete_prefix = piece->name->stem;
    setup.overwrite = false;
  }
  piece->output = FormatOf(setup.format).create(setup);
  piece->start_time = start_time;
  return piece;
}

void SeriesOutput::OnBasicSample(const SampleStamp& stamp) {
  if (auto gap = gaps_.See(stamp)) {
    ask_again_.store(true, std::memory_order_relaxed);
    open_->gaps.push_back(*gap);
    open_->output->NoteGap(*gap);
  }
}

RecordingProgress SeriesOutput::ProgressOf(const Piece& piece, const RecordingProgress& recording) const {
  RecordingProgress progress = recording;
  progress.start_time = piece.start_time;
  progress.gaps = piece.gaps;
  if (piece.name) progress.piece = RecordingProgress::Piece{piece.name->sequence, piece.basic_first, piece.extra_first};
  return progress;
}

void SeriesOutput::Describe(const RecordingProgress& progress) {
  if (progress.end_time <= 0.0) {
    open_->start_time = progress.start_time;
    open_->output->Describe(ProgressOf(*open_, progress));
    return;
  }
  // The writers are done: the open piece is the writers' no more.
  RecordingProgress last = ProgressOf(*open_, progress);
  last.basic = Remainder(progress.basic, closed_basic_);
  last.extra = Remainder(progress.extra, closed_extra_);
  last.empty = last.basic.received + last.extra.received == 0;
  ended_ = true;
  Close(*open_, last, progress.complete);
}

bool SeriesOutput::Due(double now) const {
  if (!policy_ || (basic_.OpenPieceEmpty() && extra_.OpenPieceEmpty())) return false;
  if (policy_->seconds && now - open_->start_time >= *policy_->seconds) return true;
  return policy_->bytes && open_->output->BytesWritten() >= *policy_->bytes;
}

void SeriesOutput::Tick() {
  const double now = Now();
  if (LayoutChanged(now)) {
    StartNext(now, "layout change");
  } else if (Due(now)) {
    StartNext(now, "split");
  } else if (series_ && open_->output->BytesWritten() > open_room_) {
    ApplyRetention();
  }
}

// The robot is asked only after a break, and at most once a second until it
// answers. Another answer becomes the setup of every piece from the next on.
bool SeriesOutput::LayoutChanged(double now) {
  if (!ask_ || !ask_again_.load(std::memory_order_relaxed) || now < next_question_) return false;
  next_question_ = now + 1.0;
  const std::optional<RobotShape> seen = ask_();
  if (!seen) return false;
  ask_again_.store(false, std::memory_order_relaxed);
  const RobotShape had{setup_.version, setup_.groups.Current(), setup_.start_ids, setup_.dofs};
  if (*seen == had) return false;
  setup_.version = seen->version;
  setup_.groups = RecordedGroups(seen->groups);
  setup_.start_ids = seen->start_ids;
  setup_.dofs = seen->dofs;
  // A recording at PATH alone cannot put a second layout there: it goes on
  // as a series beside it.
  if (!series_) series_.emplace(setup_.prefix, Endings(setup_.format));
  return true;
}

void SeriesOutput::StartNext(double now, const char* why) {
  // The next piece's files are made before the switch, so that the writers
  // wait for nothing but the switch itself.
  std::unique_ptr<Piece> next = OpenPiece(now);
  RecordingProgress started;
  started.start_time = now;
  next->output->Describe(ProgressOf(*next, started));
  Switch(std::move(next), why);
}

void SeriesOutput::Switch(std::unique_ptr<Piece> next, const char* why) {
  std::unique_ptr<Piece> closing;
  RecordingProgress progress;
  {
    std::scoped_lock lock(basic_.Mutex(), extra_.Mutex());
    const PieceTaken basic = basic_.SwitchTo(next->output->BasicSink());
    const PieceTaken extra = extra_.SwitchTo(next->output->ExtraSink());
    progress.basic = ClosedCounts(basic, open_->basic_first, next->basic_first);
    progress.extra = ClosedCounts(extra, open_->extra_first, next->extra_first);
    closing = std::exchange(open_, std::move(next));
  }
  Add(closed_basic_, progress.basic);
  Add(closed_extra_, progress.extra);
  progress.end_time = open_->start_time;
  progress.complete = true;
  progress.ended_by = why;
  // The writers have left it: what they wrote but did not yet commit goes
  // to its files now.
  closing->output->BasicSink().Commit(true);
  closing->output->ExtraSink().Commit(true);
  Close(*closing, ProgressOf(*closing, progress), true);
}

void SeriesOutput::Close(Piece& piece, RecordingProgress progress, bool complete) {
  progress.empty = progress.basic.received + progress.extra.received == 0;
  piece.output->Describe(progress);
  closed_bytes_ += piece.output->BytesWritten();
  if (!piece.name || !complete) return;  // an incomplete piece keeps its ".active"
  series_->Complete(*piece.name);
  completed_.push_back(piece.name->stem);
  ApplyRetention();
}

// After each completed piece, and whenever the open piece grows past the
// room the complete ones leave it: --keep-bytes holds while a piece is
// written, not only between pieces.
void SeriesOutput::ApplyRetention() {
  open_room_ = std::numeric_limits<std::uint64_t>::max();
  if (!policy_) return;
  const Retention& retention = policy_->retention;
  if (!retention.max_bytes && !retention.max_pieces) return;
  const std::uint64_t open_bytes = ended_ ? 0 : open_->output->BytesWritten();
  for (std::string& file : series_->Prune(retention, open_bytes)) deleted_.push_back(std::move(file));
  if (!retention.max_bytes || ended_) return;
  std::optional<std::uint64_t> complete_bytes;
  for (const SeriesPiece& piece : series_->Scan()) {
    if (piece.complete) complete_bytes = complete_bytes.value_or(0) + piece.bytes;
  }
  // With no complete piece left there is nothing to delete until one is.
  if (complete_bytes) open_room_ = *retention.max_bytes - std::min(*retention.max_bytes, *complete_bytes);
}

std::string SeriesOutput::DescriptionPath() const {
  if (!ended_ || completed_.empty() || !open_->name || completed_.back() != open_->name->stem) {
    return open_->output->DescriptionPath();
  }
  return OutputFiles(setup_.format, completed_.back()).back();
}

std::uint64_t SeriesOutput::BytesWritten() const {
  return closed_bytes_ + (ended_ ? 0 : open_->output->BytesWritten());
}

}  // namespace velmor::cli
