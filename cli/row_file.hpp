#pragma once
// RowFile: an output file that only ever holds complete rows. Rows collect in
// a buffer and go to the file in large writes; a write that fails (disk full,
// I/O error) is cut back to the last complete row before the error is
// reported, so what was written stays readable.
#include <cstddef>
#include <stdexcept>
#include <string>

namespace velmor::cli {

struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class RowFile {
 public:
  /// Creates or truncates `path`. Throws WriteError "cannot write PATH: reason".
  explicit RowFile(std::string path);
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
