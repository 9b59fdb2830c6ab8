#pragma once
// Subscriber<T>: every sample on one key expression is decoded as a T,
// written into a destination that the owner supplies, and announced through
// the owner's callback.
//
// Threads: the handler runs on a zenoh thread and writes the destination
// without a lock; the owner synchronises with its readers inside the callback,
// which runs on that same thread right after the write. Destroying the
// subscriber undeclares it and waits for a handler in progress, so the
// destination is never written after the destructor returns.
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
  /// Throws zenoh::ZException "Failed to construct KeyExpr from: <key>" or
  /// "Failed to declare Subscriber"; nothing stays declared then. The session
  /// is used only during the declaration.
  Subscriber(std::shared_ptr<zenoh::Session> session, std::function<void()> callback, T& destination,
             const std::string& key)
      : key_(key) {
    const zenoh::KeyExpr key_expr(key_);
    auto receiver = std::make_shared<Receiver>(std::move(callback), destination);
    subscription_.emplace(*session, key_expr, [receiver](zenoh::ByteView payload) { receiver->Take(payload); });
  }

 private:
  // Decodes into a scratch message whose vectors keep their capacity from
  // sample to sample, then swaps it with the destination: the destination is
  // only ever replaced by a complete, valid message, and steady-state samples
  // allocate nothing. Two publishers on one key make zenoh deliver on two
  // threads, but the bridge lets one call at a time in, so the scratch needs
  // no lock (and a lock here could deadlock an undeclare from the callback).
  class Receiver {
   public:
    Receiver(std::function<void()> callback, T& destination)
        : callback_(std::move(callback)), destination_(destination) {}

    void Take(zenoh::ByteView payload) {
      try {
        zenoh_msgs::DecodeInto(scratch_, payload.data, payload.size);
        std::swap(destination_, scratch_);
        callback_();
      } catch (...) {
        // A bad sample is dropped whole; the destination keeps the last good
        // one. Nothing may unwind into zenoh.
      }
    }

   private:
    std::function<void()> callback_;
    T& destination_;
    T scratch_{};
  };

  std::string key_;
  std::optional<zenoh::Subscriber> subscription_;
};

}  // namespace velmor::zenoh_mdw
