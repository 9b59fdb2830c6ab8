// qrk scan: every robot seen on the network, from its streams and from its
// rpc endpoint, with stream rates, joint groups, protocol version and the
// round-trip time of one reachability query.
#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.hpp"
#include "cli/common/group_text.hpp"
#include "cli/common/json_writer.hpp"
#include "cli/robot_census.hpp"
#include "middleware/shared_session.hpp"
#include "services/data_rpc.hpp"
#include "services/group_maps.hpp"
#include "services/robot_startup.hpp"
#include "velmor/qrk/joint_group.hpp"

namespace velmor::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNothingFound =
    "qrk: scan: no robot seen in {} s. Check that this machine and the robots share a subnet (or network namespace) "
    "with multicast enabled, since zenoh finds peers by UDP multicast scouting (224.0.0.224:7446), or that a zenoh "
    "router on this subnet connects to the robots' network.\n";

std::string GroupList(const std::set<std::uint16_t>& groups) {
  if (groups.empty()) return "-";
  std::string text;
  for (const std::uint16_t index : groups) text += (text.empty() ? "" : ",") + GroupName(qrk_impl::WireGroup(index));
  return text;
}

std::string Rate(const StreamTally& tally) { return tally.samples == 0 ? "-" : fmt::format("{:.1f}", tally.Rate()); }

struct Probe {
  std::string version = "-";
  std::string round_trip = "no answer";
  std::optional<double> round_trip_ms;
};

// One reachability query, timed, then the version query.
Probe ProbeRobot(const std::string& serial) {
  Probe probe;
  qrk_impl::DataRpc rpc;
  rpc.CreateRpcClient(zenoh_mdw::SharedSession(), serial);
  rpc.AwaitServer(Clock::now() + std::chrono::seconds(1));
  const auto start = Clock::now();
  if (!rpc.CheckConnection()) return probe;
  probe.round_trip_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  probe.round_trip = fmt::format("{:.2f} ms", *probe.round_trip_ms);
  std::string version;
  if (qrk::IsOk(rpc.GetServerVersion(version))) probe.version = version;
  return probe;
}

// One robot's line of the report.
struct RobotRow {
  std::string serial;
  Sighting sighting;
  Probe probe;
  int servers = 0;

  bool Compatible() const { return probe.version == qrk_impl::kClientVersion; }
  bool Answered() const { return probe.version != "-"; }
};

std::string VersionText(const RobotRow& row) {
  if (!row.Answered() || row.Compatible()) return row.probe.version;
  return fmt::format("{} (incompatible)", row.probe.version);
}

std::string TableText(const std::vector<RobotRow>& rows, int unnamed) {
  std::string table = fmt::format("{:<20} {:>9} {:>9}  {:<32} {:<18} {:<11} {}\n", "SERIAL", "BASIC HZ", "EXTRA HZ",
                                  "JOINT GROUPS", "VERSION", "ROUND TRIP", "SERVERS");
  std::string notes;
  for (const RobotRow& row : rows) {
    table += fmt::format("{:<20} {:>9} {:>9}  {:<32} {:<18} {:<11} {}{}\n", row.serial, Rate(row.sighting.basic),
                         Rate(row.sighting.extra), GroupList(row.sighting.groups), VersionText(row),
                         row.probe.round_trip, row.servers, row.servers > 1 ? "  <- more than one!" : "");
    if (row.servers > 1) notes += ServedTwiceWarning(row.serial, row.servers) + "\n";
    if (row.Answered() && !row.Compatible()) {
      notes +=
          fmt::format("{}: {} \u2014 this client speaks {}\n", row.serial, row.probe.version, qrk_impl::kClientVersion);
    }
  }
  table += fmt::format("{} robot(s)\n", rows.size());
  if (unnamed > 0) table += fmt::format("and {} rpc endpoint(s) that answered without naming their robot\n", unnamed);
  return table + notes;
}

std::string JsonText(const std::vector<RobotRow>& rows) {
  JsonWriter json;
  json.BeginArray();
  for (const RobotRow& row : rows) {
    json.BeginObject().Key("serial").String(row.serial);
    json.Key("basic_hz");
    row.sighting.basic.samples == 0 ? json.Null() : json.Number(row.sighting.basic.Rate());
    json.Key("extra_hz");
    row.sighting.extra.samples == 0 ? json.Null() : json.Number(row.sighting.extra.Rate());
    json.Key("joint_groups").BeginArray();
    for (const std::uint16_t index : row.sighting.groups) json.String(GroupName(qrk_impl::WireGroup(index)));
    json.EndArray().Key("version");
    row.Answered() ? json.String(row.probe.version) : json.Null();
    json.Key("compatible");
    row.Answered() ? json.Bool(row.Compatible()) : json.Null();
    json.Key("round_trip_ms");
    row.probe.round_trip_ms ? json.Number(*row.probe.round_trip_ms) : json.Null();
    json.Key("servers").Integer(row.servers).EndObject();
  }
  json.EndArray();
  return json.Text() + "\n";
}

}  // namespace

std::string ServedTwiceWarning(const std::string& serial, int servers) {
  return fmt::format(
      "{}: {} servers answer for this serial number: two robots configured with one serial mix their data in "
      "every client",
      serial, servers);
}

int RunScan(const CommandLine& line) {
  const auto listen = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(line.seconds));
  const auto end = Clock::now() + listen;
  const RobotCensus census(zenoh_mdw::SharedSession());
  auto responders = std::async(std::launch::async, [&] {
    return census.AskResponders(std::chrono::duration_cast<std::chrono::milliseconds>(listen));
  });
  std::this_thread::sleep_until(end);
  const Responders answered = responders.get();
  auto seen = census.Snapshot();
  for (const auto& entry : answered.servers) seen[entry.first];  // an rpc endpoint without streams still counts

  if (seen.empty()) {
    // A JSON reader still gets its list, empty; the hints are for people.
    if (line.json) std::fputs(JsonText({}).c_str(), stdout);
    std::fprintf(stderr, "%s", fmt::format(kNothingFound, line.seconds).c_str());
    if (answered.unnamed > 0) {
      std::fprintf(stderr, "qrk: scan: %d rpc endpoint(s) answered without naming their robot\n", answered.unnamed);
    }
    return 1;
  }
  std::vector<RobotRow> rows;
  for (const auto& [serial, sighting] : seen) {
    const auto servers = answered.servers.find(serial);
    rows.push_back({serial, sighting, ProbeRobot(serial), servers != answered.servers.end() ? servers->second : 0});
  }
  const std::string text = line.json ? JsonText(rows) : TableText(rows, answered.unnamed);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

}  // namespace velmor::cli
