#pragma once
#include <functional>
#include <string_view>

#include "middleware/zenoh/bridge_types.hpp"
#include "middleware/zenoh/byte_view.hpp"
#include "middleware/zenoh/declaration.hpp"

namespace velmor::zenoh {

class KeyExpr;
class Session;

/// Called on a zenoh thread for every sample, one call at a time (the next
/// sample waits); must not block for long.
using SampleHandler = std::function<void(ByteView payload)>;
/// The same, with the sample's key expression (valid only during the call),
/// for a subscription on a wildcard key.
using KeyedSampleHandler = std::function<void(std::string_view key, ByteView payload)>;

/// A declared subscription. Destruction undeclares it and returns only when
/// the handler is not running any more and will never run again, so the
/// handler may touch objects that die right after the subscriber.
class Subscriber {
 public:
  /// Throws ZException "Failed to declare Subscriber".
  Subscriber(const Session& session, const KeyExpr& key, SampleHandler on_sample);
  Subscriber(const Session& session, const KeyExpr& key, KeyedSampleHandler on_sample);

 private:
  detail::Declaration<vb_subscriber> declaration_;
};

}  // namespace velmor::zenoh
