#pragma once
// McapWriter: one MCAP recording (velmor_foxglove.h's vf_mcap_writer). Calls
// come from one thread at a time (the recorder's writer thread); each one
// encodes a record and appends it, compressing a chunk when one is full.
// Destroying it finishes a recording that is neither finished nor failed; an
// error there is lost (call Finish to see it).
#include <map>
#include <string>

#include "foxglove/log_target.hpp"
#include "foxglove/owned_handle.hpp"

namespace velmor::foxglove {

class McapWriter : public LogTarget {
 public:
  /// Creates `path` exclusively unless `overwrite` (velmor_foxglove.h).
  /// Throws FileExists "PATH already exists", WriteError "cannot write PATH:
  /// reason".
  McapWriter(const std::string& path, Compression compression, bool overwrite = false,
             McapProfile profile = McapProfile::kFoxglove);

  /// An MCAP metadata record. Throws WriteError.
  void WriteMetadata(const std::string& name, const std::map<std::string, std::string>& entries);

  /// Writes the last chunk, the summary and the footer. Throws WriteError.
  void Finish();

 private:
  explicit McapWriter(vf_mcap_writer* writer) noexcept;

  OwnedHandle<vf_mcap_writer> writer_;
};

}  // namespace velmor::foxglove
