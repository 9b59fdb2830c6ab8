#include "sim/robot_server.hpp"

#include <spdlog/spdlog.h>

#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/zenoh/key_expr.hpp"

namespace velmor::sim {
namespace {

ResponderSettings ResponderSettingsOf(const SimOptions& options) {
  ResponderSettings settings;
  settings.version = options.version;
  settings.groups = options.groups;
  settings.reachability_success = options.faults.reachability_success;
  settings.corrupt_primitives = options.faults.corrupt_primitives;
  return settings;
}

zenoh::KeyExpr RobotKeyExpr(const std::string& serial, std::string_view suffix) {
  return zenoh::KeyExpr(zenoh_mdw::RobotKey(serial, suffix));
}

}  // namespace

RobotServer::RobotServer(const zenoh::Session& session, const std::string& serial, unsigned variant,
                         const SimOptions& options, SimClock clock)
    : serial_(serial),
      model_(options.groups, variant, SafetyScript(options.events)),
      basic_(session, RobotKeyExpr(serial, zenoh_mdw::kBasicStreamSuffix)),
      extra_(session, RobotKeyExpr(serial, zenoh_mdw::kExtraStreamSuffix)),
      rpc_(serial, options.faults, ResponderSettingsOf(options), clock) {
  const std::string rpc_key = zenoh_mdw::RobotKey(serial, zenoh_mdw::kRpcSuffix);
  // Undeclaring the queryable waits for a query in progress, so the service
  // may be a plain member that outlives it.
  queryable_.emplace(session, zenoh::KeyExpr(rpc_key), [this](const zenoh::Query& query) { rpc_.Handle(query); });
  spdlog::info("[{}] serving {}, {}, {}", serial_, zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix),
               zenoh_mdw::RobotKey(serial, zenoh_mdw::kExtraStreamSuffix), rpc_key);
}

RobotServer::~RobotServer() {
  queryable_.reset();
  rpc_.ReleaseAll();
}

void RobotServer::PublishSample(double t) {
  last_basic_ = zenoh_msgs::Encode(model_.Basic(t, ++sequence_));
  last_extra_ = zenoh_msgs::Encode(model_.Extra(t));
  if (stamp_) stamp_(last_basic_, sequence_);
  basic_.put(last_basic_);
  extra_.put(last_extra_);
}

void RobotServer::PublishGarbage() {
  const std::uint64_t n = garbage_sent_++;
  if (n % 2 == 0) {
    basic_.put(GarblePayload(last_basic_, n / 2));
  } else {
    extra_.put(GarblePayload(last_extra_, n / 2));
  }
}

}  // namespace velmor::sim
