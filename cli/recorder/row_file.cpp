#include "cli/recorder/row_file.hpp"

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

int CreateFile(const std::string& path, bool overwrite) {
  // O_EXCL is the guard against another recorder given the same path at the
  // same moment (only one of them creates the file), and it never follows a
  // symlink. Overwriting removes what is there and creates anew; a second
  // try covers a file that reappears in between.
  for (int attempt = 0;; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    const int error = errno;
    if (error != EEXIST) throw WriteError(fmt::format("cannot write {}: {}", path, Reason(error)));
    if (!overwrite || attempt == 2) throw FileExists(fmt::format("{} already exists", path));
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      throw WriteError(fmt::format("cannot replace {}: {}", path, Reason(errno)));
    }
  }
}

RowFile::RowFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) { buffer_.reserve(2 * kCommitBytes); }

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
