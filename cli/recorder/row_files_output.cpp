#include "cli/recorder/row_files_output.hpp"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "cli/common/group_text.hpp"
#include "cli/recorder/record_format.hpp"
#include "cli/recorder/recording_description.hpp"

namespace velmor::cli {
namespace {

// The most joints of any group the recording cuts: a CSV joint quantity has
// that many columns.
std::size_t MostJoints(const qrk_impl::GroupNames& groups, const qrk_impl::Dofs& dofs) {
  std::size_t most = 0;
  for (const auto& entry : groups) {
    const auto dof = dofs.find(entry.first);
    if (dof != dofs.end()) most = std::max<std::size_t>(most, dof->second);
  }
  return most;
}

// The rows as `groups` cut them. A sample is cut only once the groups are
// known (without them a sample would still give its Cartesian values, in
// rows without joints), so the groups of any row are those of the header.
RowWriter RowsFor(const RecordingSetup& setup, const qrk_impl::GroupNames& groups) {
  return RowWriter(setup.format, MostJoints(groups, setup.dofs));
}

// A CSV header names the joint columns, so it waits for the groups; a
// recording that ends without them still gets the other columns.
std::function<std::optional<std::string>(bool)> HeaderOf(const RecordingSetup& setup,
                                                         std::string (RowWriter::*header)() const) {
  return [&setup, header](bool last) -> std::optional<std::string> {
    if (setup.groups.Known() == nullptr && !last) return std::nullopt;
    return (RowsFor(setup, setup.groups.Current()).*header)();
  };
}

template <class Records>
std::uint64_t AppendAll(std::string& out, const SampleStamp& stamp, const Records& records, const RowWriter& rows,
                        void (RowWriter::*append)(std::string&, const SampleStamp&, std::string_view,
                                                  const typename Records::mapped_type&) const) {
  for (const auto& [group, record] : records) (rows.*append)(out, stamp, GroupName(group), record);
  return records.size();
}

// A stream's counts in meta.json, with the name of its file beside them.
nlohmann::ordered_json StreamEntry(const std::string& path, const nlohmann::ordered_json& counts) {
  nlohmann::ordered_json entry{{"file", std::filesystem::path(path).filename().string()}};
  entry.update(counts);
  return entry;
}

// Writes `text` to PATH.tmp and renames it into place, so that `path` is
// never half written. Unless `replace`, `path` is first created exclusively
// (FileExists when it is there), so that a recording never takes over
// another's description. Neither file is written through a symlink: the
// temporary one is created anew (a leftover of a killed recording replaced),
// and the rename replaces a symlink itself, never its target.
void WriteFileWhole(const std::string& path, const std::string& text, bool replace) {
  if (!replace) ::close(CreateFile(path, false));
  const std::string temporary = path + ".tmp";
  const int fd = CreateFile(temporary, true);
  std::size_t done = 0;
  int error = 0;
  while (done < text.size() && error == 0) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written > 0) done += static_cast<std::size_t>(written);
    if (written < 0 && errno != EINTR) error = errno;
    if (written == 0) error = ENOSPC;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    throw WriteError(fmt::format("cannot write {}: {}", path, std::strerror(error)));
  }
}

}  // namespace

RowFilesOutput::RowFilesOutput(const RecordingSetup& setup)
    : RecordingOutput(OutputFiles(setup.format, setup.prefix)),
      setup_(setup),
      basic_(Files().at(0), setup_.overwrite, HeaderOf(setup_, &RowWriter::StatesHeader),
             [this](std::string& out, const SampleStamp& stamp, const qrk_impl::BasicStreamData& message) {
               const qrk_impl::GroupNames* groups = setup_.groups.KnownAfterBasicSample();
               if (groups == nullptr) return std::uint64_t{0};
               return AppendAll(out, stamp, qrk_impl::SliceStates(message, *groups, setup_.start_ids, setup_.dofs),
                                RowsFor(setup_, *groups), &RowWriter::AppendStates);
             }),
      extra_(Files().at(1), setup_.overwrite, HeaderOf(setup_, &RowWriter::ActionsHeader),
             [this](std::string& out, const SampleStamp& stamp, const qrk_impl::ExtraStreamData& message) {
               const qrk_impl::GroupNames* groups = setup_.groups.Known();
               if (groups == nullptr) return std::uint64_t{0};
               return AppendAll(
                   out, stamp, qrk_impl::SliceActions(message, stamp.timestamp, *groups, setup_.start_ids, setup_.dofs),
                   RowsFor(setup_, *groups), &RowWriter::AppendActions);
             }) {}

void RowFilesOutput::Describe(const RecordingProgress& progress) {
  const RecordingDescription description = DescribeRecording(setup_, progress);
  nlohmann::ordered_json meta = description.identity;
  meta.update(description.outcome);
  // The files by the names they have once complete.
  const std::string& complete_prefix =
      progress.complete_prefix.empty() ? setup_.complete_prefix : progress.complete_prefix;
  const auto files = OutputFiles(setup_.format, complete_prefix.empty() ? setup_.prefix : complete_prefix);
  meta["streams"] = {{"basic", StreamEntry(files.at(0), description.basic)},
                     {"extra", StreamEntry(files.at(1), description.extra)}};
  if (!description.gaps.empty()) meta["gaps"] = description.gaps;
  const std::string text = meta.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  // Created exclusively the first time; each later description replaces the
  // recording's own.
  WriteFileWhole(DescriptionPath(), text + "\n", described_ || setup_.overwrite);
  described_ = true;
}

}  // namespace velmor::cli
