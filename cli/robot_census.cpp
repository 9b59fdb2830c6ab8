#include "cli/robot_census.hpp"

#include <algorithm>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "messages/message_codec.hpp"
#include "messages/rpc_messages.hpp"
#include "middleware/blocking_query.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/zenoh/key_expr.hpp"

namespace velmor::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t kQueryTimeoutMs = 1000;
constexpr std::chrono::milliseconds kQueryPeriod{500};

void Count(StreamTally& tally, Clock::time_point now) {
  if (tally.samples++ == 0) tally.first = now;
  tally.last = now;
}

std::string WildcardKey(std::string_view suffix) { return zenoh_mdw::RobotKey("*", suffix); }

}  // namespace

double StreamTally::Rate() const {
  const double span = std::chrono::duration<double>(last - first).count();
  return samples >= 2 && span > 0.0 ? static_cast<double>(samples - 1) / span : 0.0;
}

std::optional<std::string> SerialOfKey(std::string_view key, std::string_view suffix) {
  const std::string_view prefix = zenoh_mdw::kKeyPrefix;
  if (key.size() <= prefix.size() + suffix.size() || key.substr(0, prefix.size()) != prefix ||
      key.substr(key.size() - suffix.size()) != suffix) {
    return std::nullopt;
  }
  const std::string_view serial = key.substr(prefix.size(), key.size() - prefix.size() - suffix.size());
  if (serial.find('/') != std::string_view::npos || serial.find('*') != std::string_view::npos) return std::nullopt;
  return std::string(serial);
}

RobotCensus::RobotCensus(std::shared_ptr<zenoh::Session> session) : session_(std::move(session)) {
  basic_.emplace(
      *session_, zenoh::KeyExpr(WildcardKey(zenoh_mdw::kBasicStreamSuffix)),
      [this](std::string_view key, zenoh::ByteView payload) { Tally(key, payload.data, payload.size, true); });
  extra_.emplace(
      *session_, zenoh::KeyExpr(WildcardKey(zenoh_mdw::kExtraStreamSuffix)),
      [this](std::string_view key, zenoh::ByteView payload) { Tally(key, payload.data, payload.size, false); });
}

void RobotCensus::Tally(std::string_view key, const std::uint8_t* data, std::size_t size, bool basic) {
  const auto serial = SerialOfKey(key, basic ? zenoh_mdw::kBasicStreamSuffix : zenoh_mdw::kExtraStreamSuffix);
  if (!serial) return;
  const auto now = Clock::now();
  // Decoded outside the lock: only the basic handler touches the scratch, one
  // sample at a time.
  bool decoded = false;
  if (basic) {
    try {
      zenoh_msgs::DecodeInto(scratch_, data, size);
      decoded = true;
    } catch (...) {
      // A sample that does not decode still shows the robot is there.
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Sighting& sighting = seen_[*serial];
  Count(basic ? sighting.basic : sighting.extra, now);
  if (decoded) sighting.groups = {scratch_.group_indices.begin(), scratch_.group_indices.end()};
}

std::map<std::string, Sighting> RobotCensus::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

namespace {

// Keeps every server that answers, named by the key it replied on; with
// every server asked and no consolidation, each server's reply comes apart.
struct ResponderCollector {
  // The serial a reply's key names; none for a key that names no robot.
  using Item = std::optional<std::string>;
  Responders responders;

  static std::optional<Item> Read(bool ok, std::string_view reply_key, zenoh::ByteView) {
    if (!ok) return std::nullopt;
    return SerialOfKey(reply_key, zenoh_mdw::kRpcSuffix);
  }
  bool Take(Item serial) {
    if (serial) {
      ++responders.servers[*serial];
    } else {
      ++responders.unnamed;
    }
    return false;  // every reply until the query ends
  }
};

Responders AskReachability(const zenoh::Session& session, const std::string& key) {
  zenoh::GetOptions options;
  options.payload = zenoh_msgs::Encode(
      zenoh_msgs::qrk_msg::RPCRequest{static_cast<std::uint16_t>(zenoh_msgs::qrk_msg::Procedure::kReachability), {}});
  options.timeout_ms = kQueryTimeoutMs;
  options.every_server = true;
  return zenoh_mdw::AwaitQuery(session, zenoh::KeyExpr(key), std::move(options), ResponderCollector{}).responders;
}

}  // namespace

int CountServers(const zenoh::Session& session, const std::string& serial) {
  const Responders responders = AskReachability(session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kRpcSuffix));
  const auto found = responders.servers.find(serial);
  return found != responders.servers.end() ? found->second : 0;
}

namespace {

// One round of queries: the wildcard one on the caller's thread and one on
// each serial's own key beside it, so that a round lasts as long as its
// slowest query rather than their sum.
struct Round {
  Responders wildcard;
  std::map<std::string, int> own;
};

Round AskRound(const zenoh::Session& session, const std::vector<std::string>& serials) {
  std::vector<std::future<int>> counts;
  counts.reserve(serials.size());
  for (const std::string& serial : serials) {
    counts.push_back(std::async(std::launch::async, [&session, &serial] { return CountServers(session, serial); }));
  }
  Round round;
  round.wildcard = AskReachability(session, WildcardKey(zenoh_mdw::kRpcSuffix));
  for (std::size_t i = 0; i < serials.size(); ++i) round.own[serials[i]] = counts[i].get();
  return round;
}

// The most servers seen in any one round, per serial and in all.
struct MostSeen {
  std::map<std::string, int> named;  // replies to the wildcard that named the serial
  std::map<std::string, int> own;    // replies on the serial's own key
  int anonymous = 0;                 // replies to the wildcard on the wildcard

  void Take(const Round& round) {
    for (const auto& [serial, servers] : round.wildcard.servers) named[serial] = std::max(named[serial], servers);
    for (const auto& [serial, servers] : round.own) own[serial] = std::max(own[serial], servers);
    anonymous = std::max(anonymous, round.wildcard.unnamed);
  }
};

}  // namespace

std::vector<std::string> RobotCensus::SerialsSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> serials;
  serials.reserve(seen_.size());
  for (const auto& entry : seen_) serials.push_back(entry.first);
  return serials;
}

Responders RobotCensus::AskResponders(std::chrono::milliseconds within) const {
  // zenoh ends a query at once while it knows no server, and it cannot tell
  // whether one would answer a wildcard query (it only matches servers whose
  // key covers the whole wildcard). So the queries are repeated through the
  // window, catching servers as zenoh learns of them.
  //
  // Most servers reply on the query's own key, which for the wildcard query
  // names no robot. So every robot seen streaming is also asked on its own
  // key, where any reply names it, whatever key the server chose.
  MostSeen most;
  const auto end = Clock::now() + within;
  do {
    const auto next = Clock::now() + kQueryPeriod;
    most.Take(AskRound(*session_, SerialsSeen()));
    std::this_thread::sleep_until(std::min(next, end));
  } while (Clock::now() < end);
  // A robot whose streams came only after the last round began is asked
  // once more, or it would show no server at all; the wildcard with it, so
  // that the unnamed replies are weighed against a round that knew it.
  std::vector<std::string> late;
  for (std::string& serial : SerialsSeen()) {
    if (most.own.count(serial) == 0) late.push_back(std::move(serial));
  }
  if (!late.empty()) most.Take(AskRound(*session_, late));

  Responders all;
  all.servers = most.named;
  // The servers a robot's own key found beyond those that named it are those
  // that answered the wildcard on the wildcard: they are no longer unnamed.
  int placed = 0;
  for (const auto& [serial, servers] : most.own) {
    if (servers == 0) continue;
    int& counted = all.servers[serial];
    placed += std::max(0, servers - counted);
    counted = std::max(counted, servers);
  }
  all.unnamed = std::max(0, most.anonymous - placed);
  return all;
}

}  // namespace velmor::cli
