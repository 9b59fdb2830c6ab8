#include "sim/estop_signal.hpp"

#include <atomic>
#include <csignal>

namespace velmor::sim {
namespace {

// Lock-free, so that the handler may touch it.
std::atomic<std::uint64_t> toggles{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

extern "C" void OnEstopSignal(int) { toggles.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

void InstallEstopSignalHandler() {
  struct sigaction action {};
  action.sa_handler = &OnEstopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR2, &action, nullptr);
}

std::uint64_t EstopToggles() noexcept { return toggles.load(std::memory_order_relaxed); }

}  // namespace velmor::sim
