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
  void* context = detail::HandOver(std::move(on_query));
  const vb_query_closure closure{&OnQuery, &detail::DropHandler<QueryHandler>, context};
  vb_queryable* handle = nullptr;
  const vb_result code = vb_queryable_declare(session.handle(), key.handle(), closure, &handle);
  if (code != VB_OK) throw ZException("Failed to declare Queryable", code);
  declaration_ = detail::Declaration<vb_queryable>(handle, &vb_queryable_undeclare, context);
}

}  // namespace velmor::zenoh
