#pragma once
// Subscriber<T>: every sample on one key expression is decoded as a T and
// handed to the owner's callback.
//
// Threads: the handler runs on a zenoh thread, one sample at a time (the
// bridge lets one call in). It decodes each sample into a message the owner
// lent it, and only a complete, valid message reaches the callback, which
// takes it over and lends the next message to decode into (the same one, or
// storage it has done with): no copy and, once the messages have grown to the
// samples' size, no allocation. Destroying the subscriber undeclares it and
// waits for a handler in progress, so the callback never runs after the
// destructor returns.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "messages/message_codec.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "middleware/zenoh/subscriber.hpp"

namespace velmor::zenoh_mdw {

template <class T>
class Subscriber {
 public:
  /// Receives each complete, valid message and returns the message to decode
  /// the next sample into.
  using Callback = std::function<T&(T& fresh)>;

  /// Decodes the first sample into `first`; it and every message the
  /// callback returns must outlive the subscriber. Throws zenoh::ZException
  /// "Failed to construct KeyExpr from: <key>" or "Failed to declare
  /// Subscriber"; nothing stays declared then. The session is used only
  /// during the declaration.
  Subscriber(std::shared_ptr<zenoh::Session> session, T& first, Callback callback, const std::string& key) : key_(key) {
    const zenoh::KeyExpr key_expr(key_);
    auto receiver = std::make_shared<Receiver>(first, std::move(callback));
    subscription_.emplace(*session, key_expr, [receiver](zenoh::ByteView payload) { receiver->Take(payload); });
  }

 private:
  // The message being decoded into is the owner's but not yet handed over:
  // a sample that fails to decode leaves it for the next one, and the owner
  // keeps the last good message. The bridge lets one call in at a time, so
  // it needs no lock (and a lock here could deadlock an undeclare from the
  // callback).
  class Receiver {
   public:
    Receiver(T& first, Callback callback) : target_(&first), callback_(std::move(callback)) {}

    void Take(zenoh::ByteView payload) {
      try {
        zenoh_msgs::DecodeInto(*target_, payload.data, payload.size);
        target_ = &callback_(*target_);
      } catch (...) {
        // A bad sample is dropped whole. Nothing may unwind into zenoh.
      }
    }

   private:
    T* target_;
    Callback callback_;
  };

  std::string key_;
  std::optional<zenoh::Subscriber> subscription_;
};

}  // namespace velmor::zenoh_mdw
