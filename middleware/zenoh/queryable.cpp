#include "middleware/zenoh/queryable.hpp"

#include <velmor_bridge.h>

#include <utility>

#include "middleware/zenoh/handoff.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh {
namespace {

void OnQuery(const vb_query* query, void* context) noexcept {
  detail::Receive(context);
  try {
    (*static_cast<QueryHandler*>(context))(Query(query));
  } catch (...) {
    // Never unwind into zenoh's thread; the requester sees no reply.
  }
  detail::Publish(context);
}

void DropHandler(void* context) noexcept {
  detail::Receive(context);
  delete static_cast<QueryHandler*>(context);
}

}  // namespace

Query::Query(const vb_query* borrowed) : query_(vb_query_clone(borrowed), &vb_query_drop) {}

ByteView Query::payload() const {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  vb_query_payload(query_.get(), &data, &size);
  return {data, size};
}

void Query::reply(const std::vector<std::uint8_t>& payload) const {
  const vb_result code = vb_query_reply(query_.get(), payload.data(), payload.size());
  if (code != VB_OK) throw ZException("Failed to reply", code);
}

void Query::reply_err(const std::vector<std::uint8_t>& payload) const {
  const vb_result code = vb_query_reply_err(query_.get(), payload.data(), payload.size());
  if (code != VB_OK) throw ZException("Failed to reply with an error", code);
}

Queryable::Queryable(const Session& session, const KeyExpr& key, QueryHandler on_query) {
  auto context = std::make_unique<QueryHandler>(std::move(on_query));
  // The bridge owns the context from here on and releases it through DropHandler.
  context_ = context.get();
  detail::Publish(context_);
  const vb_query_closure closure{&OnQuery, &DropHandler, context.release()};
  const vb_result code = vb_queryable_declare(session.handle(), key.handle(), closure, &handle_);
  if (code != VB_OK) throw ZException("Failed to declare Queryable", code);
}

Queryable::~Queryable() { Undeclare(); }

Queryable::Queryable(Queryable&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), context_(std::exchange(other.context_, nullptr)) {}

Queryable& Queryable::operator=(Queryable&& other) noexcept {
  if (this != &other) {
    Undeclare();
    handle_ = std::exchange(other.handle_, nullptr);
    context_ = std::exchange(other.context_, nullptr);
  }
  return *this;
}

void Queryable::Undeclare() noexcept {
  if (handle_ == nullptr) return;
  vb_queryable_undeclare(std::exchange(handle_, nullptr));
  // The bridge returned after the last call finished: what that call wrote
  // is visible here.
  detail::Receive(context_);
}

}  // namespace velmor::zenoh
