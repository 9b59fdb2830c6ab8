#include "middleware/zenoh/subscriber.hpp"

#include <velmor_bridge.h>

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

}  // namespace

Subscriber::Subscriber(const Session& session, const KeyExpr& key, SampleHandler on_sample)
    : Subscriber(session, key,
                 [on_sample = std::move(on_sample)](std::string_view, ByteView payload) { on_sample(payload); }) {}

Subscriber::Subscriber(const Session& session, const KeyExpr& key, KeyedSampleHandler on_sample) {
  void* context = detail::HandOver(std::move(on_sample));
  const vb_sample_closure closure{&OnSample, &detail::DropHandler<KeyedSampleHandler>, context};
  vb_subscriber* handle = nullptr;
  const vb_result code = vb_subscriber_declare(session.handle(), key.handle(), closure, &handle);
  if (code != VB_OK) throw ZException("Failed to declare Subscriber", code);
  declaration_ = detail::Declaration<vb_subscriber>(handle, &vb_subscriber_undeclare, context);
}

}  // namespace velmor::zenoh
