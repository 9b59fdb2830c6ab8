#include "sim/rpc_service.hpp"

#include <spdlog/spdlog.h>

#include <string_view>
#include <utility>
#include <vector>

#include "messages/rpc_codec.hpp"

namespace velmor::sim {

RpcService::RpcService(std::string serial, FaultSwitches faults, ResponderSettings settings, SimClock clock)
    : serial_(std::move(serial)),
      faults_(faults),
      clock_(clock),
      responder_(std::move(settings)),
      held_(kHoldTime, kMaxHeldQueries) {}

void RpcService::Handle(const zenoh::Query& query) noexcept {
  try {
    const auto now = SimClock::Clock::now();
    const zenoh::ByteView payload = query.payload();
    zenoh_msgs::qrk_msg::RPCRequest request;
    try {
      request = zenoh_msgs::Decode<zenoh_msgs::qrk_msg::RPCRequest>(payload.data, payload.size);
    } catch (const std::exception& error) {
      spdlog::warn("[{}] undecodable request of {} bytes: {}", serial_, payload.size, error.what());
      const std::string_view text = "qrk-sim: undecodable RPCRequest";
      query.reply_err({text.begin(), text.end()});
      return;
    }
    if (faults_.silent) {
      spdlog::debug("[{}] query: procedure {} (held unanswered)", serial_, request.request_id);
      held_.Hold(query, now);
      return;
    }
    spdlog::debug("[{}] query: procedure {}", serial_, request.request_id);
    std::vector<std::uint8_t> bytes = zenoh_msgs::Encode(responder_.Answer(request, clock_.SecondsAt(now)));
    if (faults_.malformed) bytes = GarblePayload(bytes, malformed_replies_.fetch_add(1));
    query.reply(bytes);
  } catch (const std::exception& error) {
    spdlog::warn("[{}] failed to answer a query: {}", serial_, error.what());
  } catch (...) {
    spdlog::warn("[{}] failed to answer a query", serial_);
  }
}

void RpcService::ReleaseExpired(SimClock::Clock::time_point now) {
  if (const std::size_t released = held_.ReleaseExpired(now); released > 0) {
    spdlog::debug("[{}] let {} held queries end unanswered", serial_, released);
  }
}

void RpcService::ReleaseAll() { held_.Clear(); }

}  // namespace velmor::sim
