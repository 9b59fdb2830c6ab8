#pragma once
// RowFile: an output file that only ever holds complete rows. Rows collect in
// a buffer and go to the file in large writes; a write that fails (disk full,
// I/O error) is cut back to the last complete row before the error is
// reported, so what was written stays readable.
#include <cstddef>
#include <string>

#include "toolkit/write_error.hpp"

namespace velmor::cli {

using toolkit::FileExists;
using toolkit::WriteError;

/// Creates `path` for writing (close-on-exec) and returns its descriptor.
/// Never writes through what is there: an existing file or symlink, even a
/// dangling one, throws FileExists, unless `overwrite`, which replaces it
/// (a symlink itself, not its target). Throws WriteError "cannot write PATH:
/// reason" otherwise.
int CreateFile(const std::string& path, bool overwrite);

class RowFile {
 public:
  /// Takes `fd`, open for writing at the end of `path` (CreateFile's).
  RowFile(std::string path, int fd);
  ~RowFile();
  RowFile(const RowFile&) = delete;
  RowFile& operator=(const RowFile&) = delete;

  /// Where the caller appends complete rows.
  std::string& Rows() noexcept { return buffer_; }
  /// Writes the rows once enough have collected, or all of them with `now`:
  /// true when it wrote. Throws WriteError; the file then ends with the last
  /// complete row, and the rows not written are discarded.
  bool Commit(bool now = false);
  const std::string& Path() const noexcept { return path_; }

 private:
  std::string path_;
  std::string buffer_;
  int fd_ = -1;
  std::size_t committed_ = 0;  // bytes in the file, all complete rows
};

}  // namespace velmor::cli
