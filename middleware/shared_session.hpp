#pragma once
// The one zenoh session of the process. Every client, for whatever robot,
// shares it; the cache below holds only a weak reference, so the session
// closes as soon as the last client releases it and the next client opens a
// fresh one.
#include <memory>

#include "middleware/zenoh/session.hpp"

namespace velmor::zenoh_mdw {

/// Returns the live session or opens one with zenoh's default configuration.
/// Safe from any thread: concurrent callers get the same session. Throws
/// zenoh::ZException "Failed to open session" when opening fails; a later call
/// tries again.
std::shared_ptr<zenoh::Session> SharedSession();

}  // namespace velmor::zenoh_mdw
