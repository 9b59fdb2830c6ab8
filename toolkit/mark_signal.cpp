#include "toolkit/mark_signal.hpp"

#include <signal.h>

#include <atomic>

namespace velmor::toolkit {
namespace {

// Only lock-free atomics may be touched from a signal handler.
std::atomic<std::uint64_t> g_marks{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

void OnMarkSignal(int /*signal_number*/) { g_marks.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

void InstallMarkSignalHandler() {
  struct sigaction action {};
  action.sa_handler = &OnMarkSignal;
  sigemptyset(&action.sa_mask);
  // A mark may arrive while the program sleeps: sleeping is not an error.
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &action, nullptr);
}

std::uint64_t TakeMarks() noexcept { return g_marks.exchange(0, std::memory_order_relaxed); }

}  // namespace velmor::toolkit
