#pragma once
// Answering queries exists for the robot simulator and the tests; the client
// itself only asks.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "middleware/zenoh/bridge_types.hpp"
#include "middleware/zenoh/byte_view.hpp"
#include "middleware/zenoh/declaration.hpp"

namespace velmor::zenoh {

class KeyExpr;
class Session;

/// A received query. Copies share the query; its final reply reaches the
/// requester when the last copy is gone, so keeping one delays the end of the
/// requester's replies (a silent server keeps them).
class Query {
 public:
  explicit Query(const vb_query* borrowed);
  ByteView payload() const;
  /// Throws ZException "Failed to reply".
  void reply(const std::vector<std::uint8_t>& payload) const;
  /// Throws ZException "Failed to reply with an error".
  void reply_err(const std::vector<std::uint8_t>& payload) const;

 private:
  std::shared_ptr<vb_query> query_;
};

/// Called on a zenoh thread for every query, one call at a time (the next
/// query waits); must not block for long.
using QueryHandler = std::function<void(const Query& query)>;

/// A declared queryable. Destruction undeclares it and returns only when the
/// handler is not running any more and will never run again, so the handler
/// may touch objects that die right after the queryable.
class Queryable {
 public:
  /// Throws ZException "Failed to declare Queryable".
  Queryable(const Session& session, const KeyExpr& key, QueryHandler on_query);

 private:
  detail::Declaration<vb_queryable> declaration_;
};

}  // namespace velmor::zenoh
