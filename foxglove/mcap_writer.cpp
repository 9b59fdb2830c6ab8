#include "foxglove/mcap_writer.hpp"

#include <vector>

#include "foxglove/c_shapes.hpp"

namespace velmor::foxglove {

using detail::Check;

namespace {

static_assert(static_cast<vf_mcap_profile>(McapProfile::kFoxglove) == VF_MCAP_PROFILE_NONE);
static_assert(static_cast<vf_mcap_profile>(McapProfile::kRos2) == VF_MCAP_PROFILE_ROS2);

vf_mcap_writer* Create(const std::string& path, Compression compression, bool overwrite, McapProfile profile) {
  vf_mcap_writer* writer = nullptr;
  Check(vf_mcap_writer_create(path.c_str(), static_cast<vf_compression>(compression), overwrite,
                              static_cast<vf_mcap_profile>(profile), &writer));
  return writer;
}

}  // namespace

void ReleaseHandle::operator()(vf_mcap_writer* writer) const noexcept { vf_mcap_writer_drop(writer); }

McapWriter::McapWriter(const std::string& path, Compression compression, bool overwrite, McapProfile profile)
    : McapWriter(Create(path, compression, overwrite, profile)) {}

// The target is borrowed before the writer is owned: a base class is made
// before the members.
McapWriter::McapWriter(vf_mcap_writer* writer) noexcept
    : LogTarget(vf_mcap_writer_log_target(writer)), writer_(writer) {}

void McapWriter::WriteMetadata(const std::string& name, const std::map<std::string, std::string>& entries) {
  std::vector<const char*> keys;
  std::vector<const char*> values;
  for (const auto& [key, value] : entries) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  Check(vf_mcap_writer_write_metadata(writer_.get(), name.c_str(), keys.data(), values.data(), entries.size()));
}

void McapWriter::Finish() { Check(vf_mcap_writer_finish(writer_.get())); }

}  // namespace velmor::foxglove
