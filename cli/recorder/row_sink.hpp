#pragma once
// RowSink<Message>: one stream's samples as rows of a CSV or JSON Lines file
// that only ever holds complete rows (RowFile).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "cli/recorder/row_file.hpp"
#include "cli/recorder/sample_sink.hpp"

namespace velmor::cli {

template <class Message>
class RowSink final : public SampleSink<Message> {
 public:
  /// Appends the rows of one sample; returns how many, 0 when it does not fit.
  using RowMaker = std::function<std::uint64_t(std::string& out, const SampleStamp& stamp, const Message& message)>;

  /// Creates the file with its header line (empty for JSON Lines), as
  /// CreateFile does. Throws WriteError (FileExists).
  RowSink(const std::string& path, bool overwrite, const std::string& header, RowMaker make_rows)
      : file_(path, CreateFile(path, overwrite)), make_rows_(std::move(make_rows)) {
    file_.Rows() = header;
    file_.Commit(true);
  }

  /// A sample whose rows cannot be made (an exception) leaves no part of a
  /// row behind, so the rows before it can still be committed.
  std::uint64_t Write(const SampleStamp& stamp, const Message& message) override {
    std::string& rows = file_.Rows();
    const std::size_t before = rows.size();
    try {
      return make_rows_(rows, stamp, message);
    } catch (...) {
      rows.resize(before);
      throw;
    }
  }
  bool Commit(bool now) override { return file_.Commit(now); }

  const std::string& Path() const noexcept { return file_.Path(); }

 private:
  RowFile file_;
  RowMaker make_rows_;
};

}  // namespace velmor::cli
