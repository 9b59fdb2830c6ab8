#pragma once
// FileSeries: the pieces of a long recording, side by side in one directory.
// A piece is named PREFIX-STAMP-SEQUENCE, STAMP its start in UTC
// (20261210T001017Z) and SEQUENCE a six-digit count that runs on across
// restarts, so that names sort in time. The format's writer adds its own
// endings to the prefix it is given: the open piece's prefix carries
// ".active" (cell-20261210T001017Z-000003.active.mcap) until Complete
// renames each of its files into place.
//
// The series only ever touches its own pieces, which it knows by that name
// pattern and the format's endings: any other file, even one beside them
// with the same PREFIX, is left alone. Files a killed recorder left
// ".active" are kept, never deleted or completed, and their sequence
// numbers are never used again. Not thread-safe: one recorder's thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::cli {

struct SeriesPiece {
  std::uint64_t sequence = 0;
  /// PREFIX-STAMP-SEQUENCE: the complete piece's files are this plus an ending.
  std::string stem;
  /// False while ".active": being written, or left by a recorder that died.
  bool complete = false;
  /// The piece's files on disk, with their sizes summed.
  std::vector<std::string> files;
  std::uint64_t bytes = 0;

  /// Where the open piece's files go, before the format's endings.
  std::string ActivePrefix() const { return stem + ".active"; }
};

/// How much of a series is kept; an unset bound keeps everything.
struct Retention {
  /// The complete pieces' bytes, with the open piece's, stay within this.
  std::optional<std::uint64_t> max_bytes;
  /// At most this many complete pieces.
  std::optional<std::uint64_t> max_pieces;
};

/// Renames each file ACTIVE_PREFIX + ending to COMPLETE_PREFIX + ending,
/// refusing to replace a file, after syncing its contents, then syncs the
/// directory. An ending without a file is skipped. Throws WriteError
/// "cannot complete PATH: reason".
void CompleteFiles(const std::string& active_prefix, const std::string& complete_prefix,
                   const std::vector<std::string>& endings);

class FileSeries {
 public:
  /// `prefix`: the recording's PATH (-o); `endings`: the format's file
  /// endings (".mcap", or ".basic.csv", ".extra.csv", ".meta.json").
  FileSeries(std::string prefix, std::vector<std::string> endings);

  /// This series' pieces on disk, by sequence. Throws WriteError when the
  /// directory cannot be read.
  std::vector<SeriesPiece> Scan() const;

  /// Names the next piece, started at `start_time` (seconds since the Unix
  /// epoch): numbered after every piece on disk and every piece named
  /// before. Its files are to be created at ActivePrefix() + ending, never
  /// over an existing file. Throws WriteError as Scan.
  SeriesPiece Next(double start_time);

  /// Renames each of the open piece's files to its complete name, refusing
  /// to replace a file, then makes the renames durable (fsync of the
  /// directory). Throws WriteError "cannot complete PATH: reason".
  void Complete(const SeriesPiece& piece) const;

  /// Deletes the oldest complete pieces, whole, until `retention` holds or
  /// none is left; `open_bytes` is what the open piece holds so far.
  /// Returns the deleted files. Throws WriteError when a file cannot be
  /// deleted (those before it are gone).
  std::vector<std::string> Prune(const Retention& retention, std::uint64_t open_bytes) const;

 private:
  std::string directory_;
  std::string name_;  // the prefix's file name part
  std::vector<std::string> endings_;
  std::uint64_t last_sequence_ = 0;
};

}  // namespace velmor::cli
