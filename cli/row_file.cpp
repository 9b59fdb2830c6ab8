#include "cli/row_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fmt/format.h>

namespace velmor::cli {
namespace {

constexpr std::size_t kCommitBytes = 256 * 1024;

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

RowFile::RowFile(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) throw WriteError(fmt::format("cannot write {}: {}", path_, Reason(errno)));
  buffer_.reserve(2 * kCommitBytes);
}

RowFile::~RowFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool RowFile::Commit(bool now) {
  if (buffer_.empty() || (!now && buffer_.size() < kCommitBytes)) return false;
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t written = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : ENOSPC;
      buffer_.clear();
      // A partial row would make the file unreadable as rows: cut it off.
      if (::ftruncate(fd_, static_cast<off_t>(committed_)) != 0) {
        throw WriteError(fmt::format("cannot write {}: {} (and cannot cut it back to complete rows: {})", path_,
                                     Reason(error), Reason(errno)));
      }
      throw WriteError(fmt::format("cannot write {}: {}", path_, Reason(error)));
    }
    done += static_cast<std::size_t>(written);
  }
  committed_ += done;
  buffer_.clear();
  return true;
}

}  // namespace velmor::cli
