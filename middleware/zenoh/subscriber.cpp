#include "middleware/zenoh/subscriber.hpp"

#include <velmor_bridge.h>

#include <memory>
#include <utility>

#include "middleware/zenoh/handoff.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {
namespace {

void OnSample(const char* key, std::size_t key_size, const std::uint8_t* data, std::size_t size,
              void* context) noexcept {
  detail::Receive(context);
  try {
    (*static_cast<KeyedSampleHandler*>(context))(std::string_view(key, key_size), ByteView{data, size});
  } catch (...) {
    // Never unwind into zenoh's thread.
  }
  detail::Publish(context);  // to the next call and to the undeclaring thread
}

void DropHandler(void* context) noexcept {
  detail::Receive(context);
  delete static_cast<KeyedSampleHandler*>(context);
}

}  // namespace

Subscriber::Subscriber(const Session& session, const KeyExpr& key, SampleHandler on_sample)
    : Subscriber(session, key,
                 [on_sample = std::move(on_sample)](std::string_view, ByteView payload) { on_sample(payload); }) {}

Subscriber::Subscriber(const Session& session, const KeyExpr& key, KeyedSampleHandler on_sample) {
  auto context = std::make_unique<KeyedSampleHandler>(std::move(on_sample));
  // The bridge owns the context from here on and releases it through DropHandler.
  context_ = context.get();
  detail::Publish(context_);
  const vb_sample_closure closure{&OnSample, &DropHandler, context.release()};
  const vb_result code = vb_subscriber_declare(session.handle(), key.handle(), closure, &handle_);
  if (code != VB_OK) throw ZException("Failed to declare Subscriber", code);
}

Subscriber::~Subscriber() { Undeclare(); }

Subscriber::Subscriber(Subscriber&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), context_(std::exchange(other.context_, nullptr)) {}

Subscriber& Subscriber::operator=(Subscriber&& other) noexcept {
  if (this != &other) {
    Undeclare();
    handle_ = std::exchange(other.handle_, nullptr);
    context_ = std::exchange(other.context_, nullptr);
  }
  return *this;
}

void Subscriber::Undeclare() noexcept {
  if (handle_ == nullptr) return;
  vb_subscriber_undeclare(std::exchange(handle_, nullptr));
  // The bridge returned after the last call finished: what that call wrote
  // is visible here.
  detail::Receive(context_);
}

}  // namespace velmor::zenoh
