#include "cli/recorder/file_series.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <utility>

#include <fmt/format.h>

#include "toolkit/write_error.hpp"

namespace velmor::cli {
namespace {

namespace fs = std::filesystem;
using toolkit::WriteError;

constexpr std::string_view kActive = ".active";
constexpr std::size_t kStampLength = 16;  // 20261210T001017Z
constexpr std::size_t kSequenceDigits = 6;

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsStamp(std::string_view text) {
  return text.size() == kStampLength && AllDigits(text.substr(0, 8)) && text[8] == 'T' &&
         AllDigits(text.substr(9, 6)) && text[15] == 'Z';
}

std::string Stamp(double start_time) {
  const auto seconds = static_cast<std::time_t>(std::floor(start_time));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[kStampLength + 1];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

// One of the series' files, taken apart; nothing for any other name.
struct PieceName {
  std::string stem;  // file name only
  std::uint64_t sequence = 0;
  bool active = false;
};

std::optional<PieceName> ParseName(std::string_view file, const std::string& name,
                                   const std::vector<std::string>& endings) {
  for (const std::string& ending : endings) {
    if (file.size() <= ending.size() || file.substr(file.size() - ending.size()) != ending) continue;
    std::string_view stem = file.substr(0, file.size() - ending.size());
    PieceName piece;
    if (stem.size() > kActive.size() && stem.substr(stem.size() - kActive.size()) == kActive) {
      stem.remove_suffix(kActive.size());
      piece.active = true;
    }
    // NAME-STAMP-SEQUENCE
    if (stem.size() < name.size() + 1 + kStampLength + 1 + kSequenceDigits) continue;
    if (stem.substr(0, name.size()) != name || stem[name.size()] != '-') continue;
    const std::string_view stamp = stem.substr(name.size() + 1, kStampLength);
    const std::string_view sequence = stem.substr(name.size() + 1 + kStampLength + 1);
    if (!IsStamp(stamp) || stem[name.size() + 1 + kStampLength] != '-' || !AllDigits(sequence) ||
        sequence.size() < kSequenceDigits || sequence.size() > 19) {
      continue;
    }
    piece.stem = std::string(stem);
    piece.sequence = std::stoull(std::string(sequence));
    return piece;
  }
  return std::nullopt;
}

// Renames without ever replacing `to`. A file system without
// RENAME_NOREPLACE gets a hard link and an unlink, which refuse alike.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

int SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

}  // namespace

FileSeries::FileSeries(std::string prefix, std::vector<std::string> endings) : endings_(std::move(endings)) {
  const fs::path path(prefix);
  directory_ = path.has_parent_path() ? path.parent_path().string() : ".";
  name_ = path.filename().string();
}

std::vector<SeriesPiece> FileSeries::Scan() const {
  std::map<std::pair<std::uint64_t, bool>, SeriesPiece> pieces;
  std::error_code error;
  for (fs::directory_iterator entry(directory_, error), end; !error && entry != end; entry.increment(error)) {
    // A symlink or a directory of a matching name is not one of ours.
    if (!entry->is_regular_file(error) || entry->is_symlink(error)) continue;
    const auto name = ParseName(entry->path().filename().string(), name_, endings_);
    if (!name) continue;
    SeriesPiece& piece = pieces[{name->sequence, name->active}];
    piece.sequence = name->sequence;
    piece.stem = (fs::path(directory_) / name->stem).string();
    piece.complete = !name->active;
    piece.files.push_back(entry->path().string());
    const std::uintmax_t size = entry->file_size(error);
    if (!error) piece.bytes += size;
    error.clear();
  }
  if (error) throw WriteError(fmt::format("cannot read the directory {}: {}", directory_, error.message()));
  std::vector<SeriesPiece> sorted;
  for (auto& [key, piece] : pieces) {
    std::sort(piece.files.begin(), piece.files.end());
    sorted.push_back(std::move(piece));
  }
  return sorted;
}

SeriesPiece FileSeries::Next(double start_time) {
  for (const SeriesPiece& piece : Scan()) last_sequence_ = std::max(last_sequence_, piece.sequence);
  SeriesPiece piece;
  piece.sequence = ++last_sequence_;
  piece.stem =
      (fs::path(directory_) / fmt::format("{}-{}-{:0{}}", name_, Stamp(start_time), piece.sequence, kSequenceDigits))
          .string();
  return piece;
}

void CompleteFiles(const std::string& active_prefix, const std::string& complete_prefix,
                   const std::vector<std::string>& endings) {
  for (const std::string& ending : endings) {
    const std::string from = active_prefix + ending;
    const std::string to = complete_prefix + ending;
    struct stat status {};
    if (::lstat(from.c_str(), &status) != 0 && errno == ENOENT) continue;  // a file this format did not write
    // The contents first, so that a complete name never shows a file the
    // disk does not hold yet.
    int error = SyncPath(from, O_RDONLY);
    if (error == 0) error = RenameNoReplace(from, to);
    if (error != 0) throw WriteError(fmt::format("cannot complete {}: {}", to, std::strerror(error)));
  }
  const fs::path path(complete_prefix);
  const std::string directory = path.has_parent_path() ? path.parent_path().string() : ".";
  if (const int error = SyncPath(directory, O_RDONLY | O_DIRECTORY); error != 0) {
    throw WriteError(fmt::format("cannot complete {}: {}", complete_prefix, std::strerror(error)));
  }
}

void FileSeries::Complete(const SeriesPiece& piece) const { CompleteFiles(piece.ActivePrefix(), piece.stem, endings_); }

std::vector<std::string> FileSeries::Prune(const Retention& retention, std::uint64_t open_bytes) const {
  std::vector<SeriesPiece> complete;
  std::uint64_t bytes = open_bytes;
  for (SeriesPiece& piece : Scan()) {
    if (!piece.complete) continue;
    bytes += piece.bytes;
    complete.push_back(std::move(piece));
  }
  std::vector<std::string> deleted;
  std::uint64_t pieces = complete.size();
  for (const SeriesPiece& oldest : complete) {
    const bool too_many = retention.max_pieces && pieces > *retention.max_pieces;
    const bool too_large = retention.max_bytes && bytes > *retention.max_bytes;
    if (!too_many && !too_large) break;
    for (const std::string& file : oldest.files) {
      if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
        throw WriteError(fmt::format("cannot delete {}: {}", file, std::strerror(errno)));
      }
      deleted.push_back(file);
    }
    bytes -= oldest.bytes;
    --pieces;
  }
  return deleted;
}

}  // namespace velmor::cli
