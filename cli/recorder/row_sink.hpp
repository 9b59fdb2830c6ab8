#pragma once
// RowSink<Message>: one stream's samples as rows of a CSV or JSON Lines file
// that only ever holds complete rows (RowFile).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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
  /// The header line (empty for JSON Lines) as far as it is known; nothing
  /// while the first row may still change it, unless `last`: then what is
  /// known stands.
  using HeaderMaker = std::function<std::optional<std::string>(bool last)>;

  /// Creates the file, with its header line once that is known: at once, or
  /// before the first row, or when the last commit finds no row came.
  /// CreateFile's rules. Throws WriteError (FileExists).
  RowSink(const std::string& path, bool overwrite, HeaderMaker header, RowMaker make_rows)
      : file_(path, CreateFile(path, overwrite)), header_(std::move(header)), make_rows_(std::move(make_rows)) {
    WriteHeader(false);
    file_.Commit(true);
  }
  RowSink(const std::string& path, bool overwrite, const std::string& header, RowMaker make_rows)
      : RowSink(
            path, overwrite, [header](bool) { return std::optional<std::string>(header); }, std::move(make_rows)) {}

  /// A sample whose rows cannot be made (an exception) leaves no part of a
  /// row behind, so the rows before it can still be committed.
  SampleRecords Write(const SampleStamp& stamp, const Message& message) override {
    std::string& rows = file_.Rows();
    const std::size_t before = rows.size();
    try {
      const std::uint64_t made = make_rows_(rows, stamp, message);
      if (made > 0 && !headed_) {
        // Nothing was written before the first row: the header goes first.
        std::string header = header_(true).value_or(std::string());
        rows.insert(before, header);
        headed_ = true;
      }
      return {made, made > 0};
    } catch (...) {
      rows.resize(before);
      throw;
    }
  }
  bool Commit(bool now) override {
    if (now) WriteHeader(true);
    return file_.Commit(now);
  }

  const std::string& Path() const noexcept { return file_.Path(); }

 private:
  void WriteHeader(bool last) {
    if (headed_) return;
    if (auto header = header_(last)) {
      file_.Rows() += *header;
      headed_ = true;
    }
  }

  RowFile file_;
  HeaderMaker header_;
  RowMaker make_rows_;
  bool headed_ = false;
};

}  // namespace velmor::cli
