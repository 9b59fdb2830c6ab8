#pragma once
// What a subscriber and a queryable share: a handler handed to the bridge as
// a closure's context, and a declared handle that is undeclared exactly once.
#include <memory>
#include <utility>

#include "middleware/zenoh/handoff.hpp"

namespace velmor::zenoh::detail {

/// Gives `handler` to the bridge as a closure's context. The bridge owns it
/// from here on, even when the declaration fails, and releases it through
/// DropHandler<Handler>.
template <class Handler>
void* HandOver(Handler handler) {
  void* context = std::make_unique<Handler>(std::move(handler)).release();
  Publish(context);
  return context;
}

template <class Handler>
void DropHandler(void* context) noexcept {
  Receive(context);
  delete static_cast<Handler*>(context);
}

/// A declared handle whose handler runs on zenoh's threads. Undeclaring
/// returns only once the handler is not running and never will again; the
/// handler's context, kept only as a synchronisation token, then carries what
/// the last call wrote to the undeclaring thread.
template <class Handle>
class Declaration {
 public:
  using Undeclare = void (*)(Handle*);

  Declaration() = default;
  Declaration(Handle* handle, Undeclare undeclare, void* context) noexcept
      : handle_(handle), undeclare_(undeclare), context_(context) {}
  ~Declaration() { Reset(); }
  Declaration(Declaration&& other) noexcept { Take(other); }
  Declaration& operator=(Declaration&& other) noexcept {
    if (this != &other) {
      Reset();
      Take(other);
    }
    return *this;
  }
  Declaration(const Declaration&) = delete;
  Declaration& operator=(const Declaration&) = delete;

 private:
  void Take(Declaration& other) noexcept {
    handle_ = std::exchange(other.handle_, nullptr);
    undeclare_ = other.undeclare_;
    context_ = std::exchange(other.context_, nullptr);
  }

  void Reset() noexcept {
    if (handle_ == nullptr) return;
    undeclare_(std::exchange(handle_, nullptr));
    Receive(context_);
  }

  Handle* handle_ = nullptr;
  Undeclare undeclare_ = nullptr;
  void* context_ = nullptr;
};

}  // namespace velmor::zenoh::detail
