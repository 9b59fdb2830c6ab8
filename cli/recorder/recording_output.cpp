#include "cli/recorder/recording_output.hpp"

#include <filesystem>
#include <system_error>

namespace velmor::cli {

std::uint64_t RecordingOutput::BytesWritten() const {
  std::uint64_t bytes = 0;
  for (const std::string& path : files_) {
    std::error_code missing;  // not created yet, or removed behind our back
    const auto size = std::filesystem::file_size(path, missing);
    if (!missing) bytes += size;
  }
  return bytes;
}

}  // namespace velmor::cli
