#include "cli/robot_census.hpp"

#include <algorithm>
#include <thread>
#include <utility>

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
  Responders responders;

  bool Take(bool ok, std::string_view reply_key, zenoh::ByteView) {
    if (!ok) return false;
    if (const auto serial = SerialOfKey(reply_key, zenoh_mdw::kRpcSuffix)) {
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

Responders RobotCensus::AskOnce() const { return AskReachability(*session_, WildcardKey(zenoh_mdw::kRpcSuffix)); }

int CountServers(const zenoh::Session& session, const std::string& serial) {
  const Responders responders = AskReachability(session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kRpcSuffix));
  const auto found = responders.servers.find(serial);
  return found != responders.servers.end() ? found->second : 0;
}

Responders RobotCensus::AskResponders(std::chrono::milliseconds within) const {
  // zenoh ends a query at once while it knows no server, and it cannot tell
  // whether one would answer a wildcard query (it only matches servers whose
  // key covers the whole wildcard). So the query is repeated through the
  // window, catching servers as zenoh learns of them.
  Responders all;
  const auto end = Clock::now() + within;
  do {
    const auto next = Clock::now() + kQueryPeriod;
    const Responders round = AskOnce();
    for (const auto& [serial, servers] : round.servers) all.servers[serial] = std::max(all.servers[serial], servers);
    all.unnamed = std::max(all.unnamed, round.unnamed);
    std::this_thread::sleep_until(std::min(next, end));
  } while (Clock::now() < end);
  return all;
}

}  // namespace velmor::cli
