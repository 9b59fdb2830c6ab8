#pragma once
// Subscriber<T>: every sample on one key expression is decoded as a T and
// handed to the owner's callback, which takes it over by swapping it with its
// own latest message.
//
// Threads: the handler runs on a zenoh thread, one sample at a time (the
// bridge lets one call in). The callback gets the freshly decoded message by
// reference, valid only during the call; the owner swaps it into its latest
// message under its own lock (a few pointer swaps, no copy), and the
// subscriber decodes the next sample into whatever the owner swapped out,
// reusing its storage. Destroying the subscriber undeclares it and waits for
// a handler in progress, so the callback never runs after the destructor
// returns.
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
  /// Receives each complete, valid message; may take it over (swap).
  using Callback = std::function<void(T& fresh)>;

  /// Throws zenoh::ZException "Failed to construct KeyExpr from: <key>" or
  /// "Failed to declare Subscriber"; nothing stays declared then. The session
  /// is used only during the declaration.
  Subscriber(std::shared_ptr<zenoh::Session> session, Callback callback, const std::string& key) : key_(key) {
    const zenoh::KeyExpr key_expr(key_);
    auto receiver = std::make_shared<Receiver>(std::move(callback));
    subscription_.emplace(*session, key_expr, [receiver](zenoh::ByteView payload) { receiver->Take(payload); });
  }

 private:
  // Decodes into a scratch message whose vectors keep their capacity from
  // sample to sample: the owner only ever sees a complete, valid message, and
  // steady-state samples allocate nothing. The bridge lets one call in at a
  // time, so the scratch needs no lock (and a lock here could deadlock an
  // undeclare from the callback).
  class Receiver {
   public:
    explicit Receiver(Callback callback) : callback_(std::move(callback)) {}

    void Take(zenoh::ByteView payload) {
      try {
        zenoh_msgs::DecodeInto(scratch_, payload.data, payload.size);
        callback_(scratch_);
      } catch (...) {
        // A bad sample is dropped whole; the owner keeps the last good one.
        // Nothing may unwind into zenoh.
      }
    }

   private:
    Callback callback_;
    T scratch_{};
  };

  std::string key_;
  std::optional<zenoh::Subscriber> subscription_;
};

}  // namespace velmor::zenoh_mdw
