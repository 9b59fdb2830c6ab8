#include "middleware/shared_session.hpp"

#include <mutex>

namespace velmor::zenoh_mdw {
namespace {

std::mutex& SessionMutex() {
  static std::mutex mutex;
  return mutex;
}

std::weak_ptr<zenoh::Session>& CachedSession() {
  static std::weak_ptr<zenoh::Session> session;
  return session;
}

}  // namespace

std::shared_ptr<zenoh::Session> SharedSession() {
  // Held while opening, so two threads never open two sessions.
  std::lock_guard<std::mutex> lock(SessionMutex());
  if (auto alive = CachedSession().lock()) return alive;
  auto session = std::make_shared<zenoh::Session>();
  CachedSession() = session;
  return session;
}

}  // namespace velmor::zenoh_mdw
