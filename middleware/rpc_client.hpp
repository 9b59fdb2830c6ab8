#pragma once
// RpcClient<Req, Rep>: blocking request/reply over zenoh queries on one key
// expression. One call at a time per client (call_mutex); the first reply
// that decodes wins; the caller waits as AwaitQuery does, for zenoh's
// end-of-replies signal with a backstop (blocking_query.hpp says why).
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "messages/message_codec.hpp"
#include "middleware/blocking_query.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/responder_watch.hpp"
#include "middleware/zenoh/session.hpp"

namespace velmor::zenoh_mdw {

template <class Req, class Rep>
class RpcClient {
 public:
  /// Declares nothing, so a bad key expression only shows up as failed calls.
  RpcClient(std::shared_ptr<zenoh::Session> session, std::string key_expr)
      : session_(std::move(session)), key_expr_(std::move(key_expr)) {}
  RpcClient(const RpcClient&) = delete;
  RpcClient& operator=(const RpcClient&) = delete;

  /// Sends `request` and waits up to `timeout` seconds for the first valid
  /// reply. True: `reply` holds it. False: no reply was accepted in time, or
  /// the query could not be sent; `reply` is unchanged. Throws
  /// zenoh::ZException only when the request cannot be encoded.
  bool SendRequestAndGetReply(const Req& request, Rep& reply, double timeout) {
    std::lock_guard<std::mutex> call_lock(call_mutex_);
    zenoh::GetOptions options;
    options.payload = zenoh_msgs::Encode(request);
    options.timeout_ms = static_cast<std::int64_t>(timeout * 1000.0);
    FirstValidReply first;
    try {
      first = AwaitQuery(*session_, zenoh::KeyExpr(key_expr_), std::move(options), FirstValidReply{});
    } catch (const std::exception& error) {
      // The caller logs the generic failure line; zenoh's own reason goes here.
      spdlog::debug("[velmor::zenoh_mdw::RpcClient] Query on {} not sent: {}", key_expr_, error.what());
      return false;
    }
    if (first.has_reply) reply = std::move(first.reply);
    return first.has_reply;
  }

  /// Waits until zenoh knows a server that a query would reach, at most until
  /// `deadline`: true when one is known. Sends nothing; false also when the
  /// key expression is rejected.
  bool AwaitResponder(std::chrono::steady_clock::time_point deadline) const {
    try {
      const zenoh::KeyExpr key(key_expr_);
      const zenoh::ResponderWatch watch(*session_, key);
      const auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      return watch.WaitUntilKnown(rest);
    } catch (const std::exception&) {
      return false;
    }
  }

 private:
  // Keeps the first reply that decodes; error replies and malformed ones
  // are passed over, so a later valid reply may still win.
  struct FirstValidReply {
    using Item = Rep;
    Rep reply{};
    bool has_reply = false;

    static std::optional<Rep> Read(bool ok, std::string_view, zenoh::ByteView payload) noexcept {
      if (!ok) return std::nullopt;
      try {
        return zenoh_msgs::Decode<Rep>(payload.data, payload.size);
      } catch (...) {
        return std::nullopt;  // malformed, or more than its decoded size may cost: passed over
      }
    }
    bool Take(Rep decoded) {
      reply = std::move(decoded);
      has_reply = true;
      return true;
    }
  };

  std::mutex call_mutex_;
  std::shared_ptr<zenoh::Session> session_;
  std::string key_expr_;
};

}  // namespace velmor::zenoh_mdw
