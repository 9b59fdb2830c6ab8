#include "cli/recorder/recording_description.hpp"

#include <fmt/format.h>

#include "cli/recorder/record_format.hpp"

#ifndef VELMOR_VERSION
#define VELMOR_VERSION "unknown"
#endif

namespace velmor::cli {
namespace {

using Json = nlohmann::ordered_json;

Json Layout(const RecordingSetup& setup) {
  Json layout = Json::array();
  for (const auto& [group, name] : setup.groups.Current()) {
    const auto start_id = setup.start_ids.find(group);
    const auto dof = setup.dofs.find(group);
    layout.push_back({{"group", name},
                      {"index", static_cast<int>(group)},
                      {"start_id", start_id == setup.start_ids.end() ? -1 : start_id->second},
                      {"dof", dof == setup.dofs.end() ? 0 : static_cast<std::int64_t>(dof->second)}});
  }
  return layout;
}

Json Counts(const StreamCounts& counts) {
  return {{"received", counts.received},
          {"written", counts.written},
          {"dropped", counts.dropped},
          {"unfit", counts.unfit},
          {"rows", counts.records}};
}

}  // namespace

nlohmann::ordered_json DescribeGap(const StreamGap& gap) {
  return {{"start_time", gap.start_time},
          {"end_time", gap.end_time},
          {"seconds", gap.end_time - gap.start_time},
          {"restarted", gap.restarted},
          {"sample", gap.sample},
          {"stamp_before", {gap.stamp_before.first, gap.stamp_before.second}},
          {"stamp_after", {gap.stamp_after.first, gap.stamp_after.second}}};
}

RecordingDescription DescribeRecording(const RecordingSetup& setup, const RecordingProgress& progress) {
  RecordingDescription description;
  description.identity = {
      {"serial", setup.serial},  {"version", setup.version},      {"format", FormatOf(setup.format).name},
      {"layout", Layout(setup)}, {"qrk_version", VELMOR_VERSION}, {"start_time", progress.start_time}};
  if (!setup.joint_names.empty()) description.identity["joint_names"] = setup.joint_names;
  description.outcome = {{"end_time", progress.end_time > 0.0 ? Json(progress.end_time) : Json()},
                         {"complete", progress.complete},
                         {"empty", progress.empty},
                         {"ended_by", progress.ended_by}};
  if (!progress.events.empty()) {
    Json events = Json::array();
    for (const auto& event : progress.events) events.push_back({{"label", event.label}, {"time", event.time}});
    description.outcome["events"] = std::move(events);
  }
  description.basic = Counts(progress.basic);
  description.extra = Counts(progress.extra);
  if (progress.piece) description.identity["piece"] = progress.piece->sequence;
  // A piece's first samples are known only once the writers have switched to
  // it, after its start is described.
  if (progress.piece && progress.end_time > 0.0) {
    description.basic["first_sample"] = progress.piece->basic_first;
    description.extra["first_sample"] = progress.piece->extra_first;
  }
  description.gaps = Json::array();
  for (const StreamGap& gap : progress.gaps) description.gaps.push_back(DescribeGap(gap));
  return description;
}

void AddAsText(std::map<std::string, std::string>& record, const nlohmann::ordered_json& members,
               const std::string& prefix) {
  for (const auto& [key, value] : members.items()) {
    std::string& text = record[prefix + key];
    if (value.is_string()) {
      text = value.get<std::string>();
    } else if (value.is_number_float()) {
      text = fmt::format("{:.6f}", value.get<double>());
    } else {
      text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
  }
}

}  // namespace velmor::cli
