#include "foxglove/mcap_writer.hpp"

#include <vector>

#include "foxglove/c_shapes.hpp"

namespace velmor::foxglove {

using detail::Check;

McapWriter::McapWriter(const std::string& path, Compression compression, bool overwrite) {
  Check(vf_mcap_writer_create(path.c_str(), static_cast<vf_compression>(compression), overwrite, &handle_));
}

void McapWriter::WriteMetadata(const std::string& name, const std::map<std::string, std::string>& entries) {
  std::vector<const char*> keys;
  std::vector<const char*> values;
  for (const auto& [key, value] : entries) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  Check(vf_mcap_writer_write_metadata(handle_, name.c_str(), keys.data(), values.data(), entries.size()));
}

void McapWriter::Finish() { Check(vf_mcap_writer_finish(handle_)); }

}  // namespace velmor::foxglove
