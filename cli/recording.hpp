#pragma once
// Recording: every sample of a robot's two streams, to PATH.basic.EXT and
// PATH.extra.EXT, described by PATH.meta.json. The metadata is written when
// the recording starts (marked incomplete) and again when it ends, each time
// through a temporary file and a rename, so it is never half written.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_line.hpp"
#include "cli/stream_recorder.hpp"
#include "middleware/subscriber.hpp"
#include "middleware/zenoh/session.hpp"
#include "services/group_maps.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::cli {

struct RecordingSetup {
  std::string serial;
  std::string version;
  qrk_impl::GroupNames groups;
  qrk_impl::StartIds start_ids;
  qrk_impl::Dofs dofs;
  RecordFormat format = RecordFormat::kCsv;
  /// PATH: the files are PATH.basic.EXT, PATH.extra.EXT and PATH.meta.json.
  std::string prefix;
};

class Recording {
 public:
  /// Creates the three files (throws WriteError) and writes the headers and
  /// the first metadata.
  explicit Recording(RecordingSetup setup);
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  /// Subscribes to both streams and starts the writers; throws
  /// zenoh::ZException when a subscriber cannot be declared.
  void Start(const std::shared_ptr<zenoh::Session>& session);
  /// The first write error of either stream.
  std::optional<std::string> Error() const;
  /// Stops receiving, writes every queued sample, then the final metadata
  /// (throws WriteError when that fails). `ended_by` says why it ended.
  void Finish(const std::string& ended_by);

  StreamCounts Basic() const { return basic_.Counts(); }
  StreamCounts Extra() const { return extra_.Counts(); }
  std::string MetaPath() const { return setup_.prefix + ".meta.json"; }

 private:
  void WriteMeta(const std::string& ended_by, bool complete) const;

  RecordingSetup setup_;
  RowWriter rows_;
  double start_time_ = 0.0;
  double end_time_ = 0.0;
  // The extra stream carries no time stamp: its rows get the latest basic
  // one, packed as (first << 32 | second) so one atomic holds both halves.
  std::atomic<std::uint64_t> latest_stamp_{0};
  StreamRecorder<qrk_impl::BasicStreamData> basic_;
  StreamRecorder<qrk_impl::ExtraStreamData> extra_;
  // Declared last: undeclared first, before the recorders they feed.
  std::unique_ptr<zenoh_mdw::Subscriber<qrk_impl::BasicStreamData>> basic_subscriber_;
  std::unique_ptr<zenoh_mdw::Subscriber<qrk_impl::ExtraStreamData>> extra_subscriber_;
};

}  // namespace velmor::cli
