// qrk scan: every robot seen on the network, from its streams and from its
// rpc endpoint, with stream rates, joint groups, protocol version and the
// round-trip time of one reachability query.
#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "cli/commands.hpp"
#include "cli/group_text.hpp"
#include "cli/robot_census.hpp"
#include "middleware/shared_session.hpp"
#include "services/data_rpc.hpp"
#include "services/group_maps.hpp"
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
};

// One reachability query, timed, then the version query.
Probe ProbeRobot(const std::string& serial) {
  Probe probe;
  qrk_impl::DataRpc rpc;
  rpc.CreateRpcClient(zenoh_mdw::SharedSession(), serial);
  rpc.AwaitServer(Clock::now() + std::chrono::seconds(1));
  const auto start = Clock::now();
  if (!rpc.CheckConnection()) return probe;
  probe.round_trip = fmt::format("{:.2f} ms", std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  std::string version;
  if (qrk::IsOk(rpc.GetServerVersion(version))) probe.version = version;
  return probe;
}

}  // namespace

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
  for (const auto& serial : answered.serials) seen[serial];  // an rpc endpoint without streams still counts

  if (seen.empty()) {
    std::fprintf(stderr, "%s", fmt::format(kNothingFound, line.seconds).c_str());
    if (answered.unnamed > 0) {
      std::fprintf(stderr, "qrk: scan: %d rpc endpoint(s) answered without naming their robot\n", answered.unnamed);
    }
    return 1;
  }
  std::string table = fmt::format("{:<20} {:>9} {:>9}  {:<32} {:<8} {}\n", "SERIAL", "BASIC HZ", "EXTRA HZ",
                                  "JOINT GROUPS", "VERSION", "ROUND TRIP");
  for (const auto& [serial, sighting] : seen) {
    const Probe probe = ProbeRobot(serial);
    table += fmt::format("{:<20} {:>9} {:>9}  {:<32} {:<8} {}\n", serial, Rate(sighting.basic), Rate(sighting.extra),
                         GroupList(sighting.groups), probe.version, probe.round_trip);
  }
  table += fmt::format("{} robot(s)\n", seen.size());
  if (answered.unnamed > 0) {
    table += fmt::format("and {} rpc endpoint(s) that answered without naming their robot\n", answered.unnamed);
  }
  std::fwrite(table.data(), 1, table.size(), stdout);
  return 0;
}

}  // namespace velmor::cli
