#pragma once
// RpcClient<Req, Rep>: blocking request/reply over zenoh queries on one key
// expression. One call at a time per client (call_mutex); the first reply
// that decodes wins; zenoh's end-of-replies signal wakes the caller.
//
// The caller waits for that signal rather than for its own clock: with the
// default consolidation zenoh holds every reply until the query ends, and a
// server that keeps its query object after replying (a `for query in
// queryable:` loop) has its reply handed over only at the query's time-out,
// together with the end of replies. Giving up at the same instant would lose
// it. zenoh guarantees the signal at its time-out; the local deadline is only
// a backstop a little later. Replies arriving after the caller gave up touch
// only the per-call state, which the callbacks keep alive through their own
// shared references.
#include <spdlog/spdlog.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "messages/message_codec.hpp"
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
    auto state = std::make_shared<RequestState>();
    const auto timeout_ms = static_cast<std::int64_t>(timeout * 1000.0);
    zenoh::GetOptions options;
    options.payload = zenoh_msgs::Encode(request);
    options.timeout_ms = timeout_ms;
    try {
      const zenoh::KeyExpr key(key_expr_);
      session_->get(
          key, std::move(options),
          [state](bool ok, std::string_view, zenoh::ByteView payload) { state->Accept(ok, payload); },
          [state] { state->End(); });
    } catch (const std::exception& error) {
      // The caller logs the generic failure line; zenoh's own reason goes here.
      spdlog::debug("[velmor::zenoh_mdw::RpcClient] Query on {} not sent: {}", key_expr_, error.what());
      return false;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms) + kEndOfRepliesBackstop;
    std::unique_lock<std::mutex> lock(state->mutex);
    if (timeout_ms > 0) state->condition.wait_until(lock, deadline, [&] { return state->done; });
    if (state->has_reply) reply = std::move(state->reply);
    return state->has_reply;
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
  // How long after the query's own time-out the caller still waits for
  // zenoh's end of replies before giving up on a zenoh that never sends it.
  static constexpr std::chrono::milliseconds kEndOfRepliesBackstop{500};

  struct RequestState {
    std::mutex mutex;
    std::condition_variable condition;
    Rep reply{};
    bool done = false;
    bool has_reply = false;

    // On a zenoh thread, once per reply.
    void Accept(bool ok, zenoh::ByteView payload) {
      if (!ok) return;  // error replies are ignored
      try {
        Rep decoded = zenoh_msgs::Decode<Rep>(payload.data, payload.size);  // outside the lock
        std::lock_guard<std::mutex> lock(mutex);
        if (done && has_reply) return;  // a reply was already accepted
        reply = std::move(decoded);
        has_reply = true;
        done = true;
        condition.notify_all();
      } catch (...) {
        // A malformed reply is ignored; a later valid one may still win.
      }
    }

    // On a zenoh thread, exactly once, when the query's replies have ended.
    void End() {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
      condition.notify_all();
    }
  };

  std::mutex call_mutex_;
  std::shared_ptr<zenoh::Session> session_;
  std::string key_expr_;
};

}  // namespace velmor::zenoh_mdw
