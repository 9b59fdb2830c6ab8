#pragma once
// What a recording says of itself, one list of keys for every format:
// meta.json holds them as JSON, an MCAP file as its metadata records `robot`
// (what it is of) and `recording` (how it went). The layout is a JSON array
// of {group, index, start_id (-1 when unknown), dof (0 when unknown)}, of
// the groups known when it is written: none at the start of a recording whose
// groups came late, when only the description at its end has them.
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/recorder/recording_output.hpp"

namespace velmor::cli {

struct RecordingDescription {
  /// Known at the start: serial, version, format, layout, qrk_version,
  /// start_time.
  nlohmann::ordered_json identity;
  /// Known at the end (end_time null until then): end_time, complete,
  /// empty, ended_by; and a snapshot's events, [{label, time}].
  nlohmann::ordered_json outcome;
  /// Per stream: received, written, dropped, unfit, rows; and, at the end of
  /// a piece of a series (whose identity adds `piece`, its number),
  /// first_sample.
  nlohmann::ordered_json basic;
  nlohmann::ordered_json extra;
  /// Every break in the basic stream (DescribeGap's), perhaps none.
  nlohmann::ordered_json gaps;
};

RecordingDescription DescribeRecording(const RecordingSetup& setup, const RecordingProgress& progress);

/// One break in the basic stream: start_time, end_time, seconds (receive
/// times on this computer), restarted (the robot's time stamp went back),
/// sample (the first after it), stamp_before and stamp_after.
nlohmann::ordered_json DescribeGap(const StreamGap& gap);

/// An object's members as text, for an MCAP metadata record: times with
/// microseconds, flags as true or false, arrays as JSON. Each key gets
/// `prefix` in front.
void AddAsText(std::map<std::string, std::string>& record, const nlohmann::ordered_json& members,
               const std::string& prefix = "");

}  // namespace velmor::cli
