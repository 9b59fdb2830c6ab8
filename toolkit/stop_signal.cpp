#include "toolkit/stop_signal.hpp"

#include <signal.h>

#include <atomic>

namespace velmor::toolkit {
namespace {

// Only lock-free atomics may be touched from a signal handler.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int) { g_stop.store(true); }

}  // namespace

void InstallStopSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() noexcept { return g_stop.load(); }

}  // namespace velmor::toolkit
