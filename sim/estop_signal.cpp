#include "sim/estop_signal.hpp"

#include <atomic>
#include <csignal>

#include "sim/signal_handler.hpp"

namespace velmor::sim {
namespace {

// Lock-free, so that the handler may touch it.
std::atomic<std::uint64_t> toggles{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

extern "C" void OnEstopSignal(int) { toggles.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

void InstallEstopSignalHandler() { InstallSignalHandler(SIGUSR2, &OnEstopSignal); }

std::uint64_t EstopToggles() noexcept { return toggles.load(std::memory_order_relaxed); }

}  // namespace velmor::sim
