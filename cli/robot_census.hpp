#pragma once
// RobotCensus: which robots are on the network. It subscribes to every
// robot's two stream keys at once and tallies samples per serial number (the
// serial is the key's third chunk), and counts the servers behind each rpc
// endpoint: one wildcard reachability query reaches them all, and one on
// each seen robot's own key counts the servers whose replies to the wildcard
// do not say which robot they are.
//
// Threads: samples are tallied on zenoh's threads under the census's mutex;
// Snapshot() and AskResponders() run on the caller's, AskResponders() with a
// short-lived thread per robot for its own query.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "messages/stream_messages.hpp"
#include "middleware/zenoh/session.hpp"
#include "middleware/zenoh/subscriber.hpp"

namespace velmor::cli {

struct StreamTally {
  std::uint64_t samples = 0;
  std::chrono::steady_clock::time_point first;
  std::chrono::steady_clock::time_point last;

  /// Samples per second between the first and the last sample; 0 below two.
  double Rate() const;
};

struct Sighting {
  StreamTally basic;
  StreamTally extra;
  /// Joint groups of the latest basic sample that decoded.
  std::set<std::uint16_t> groups;
};

struct Responders {
  /// How many servers answered for each serial: more than one means two
  /// robots (or programs) configured with one serial number.
  std::map<std::string, int> servers;
  /// Servers that replied to the wildcard query on the wildcard key (so
  /// did not say which robot they are) and that no robot's own key
  /// accounted for: rpc endpoints of robots whose streams were not seen.
  int unnamed = 0;
};

class RobotCensus {
 public:
  /// Subscribes at once; throws zenoh::ZException when it cannot.
  explicit RobotCensus(std::shared_ptr<zenoh::Session> session);
  RobotCensus(const RobotCensus&) = delete;
  RobotCensus& operator=(const RobotCensus&) = delete;

  /// Sends a reachability query to every robot's rpc endpoint twice a
  /// second for `within`, and beside it one to the own key of each robot
  /// seen streaming, and collects who answered, and how many servers for
  /// each serial (the most seen in one round). Blocks for `within` (at least
  /// one query's 1 s time-out), and for one more round when a robot's
  /// streams came only after the last round began.
  Responders AskResponders(std::chrono::milliseconds within) const;

  /// The robots seen so far, by serial number as the keys spell it.
  std::map<std::string, Sighting> Snapshot() const;

 private:
  std::vector<std::string> SerialsSeen() const;
  void Tally(std::string_view key, const std::uint8_t* data, std::size_t size, bool basic);

  std::shared_ptr<zenoh::Session> session_;
  mutable std::mutex mutex_;
  std::map<std::string, Sighting> seen_;
  zenoh_msgs::qrk_msg::AllBasicStreamData scratch_;
  // Declared last: undeclared first, before what the handlers touch.
  std::optional<zenoh::Subscriber> basic_;
  std::optional<zenoh::Subscriber> extra_;
};

/// How many servers answer a reachability query on the robot's rpc key
/// (every one answers: zenoh's default would merge their replies into one),
/// whether a server replies on its own key or on the query's, which here is
/// the same key. Blocks until they all have, at most about a second.
int CountServers(const zenoh::Session& session, const std::string& serial);

/// The serial number in a robot key "velmor/robot/<serial>/<suffix>", or
/// nothing when `key` is not one with that suffix.
std::optional<std::string> SerialOfKey(std::string_view key, std::string_view suffix);

}  // namespace velmor::cli
