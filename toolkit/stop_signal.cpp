#include "toolkit/stop_signal.hpp"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

namespace velmor::toolkit {
namespace {

// Only lock-free atomics may be touched from a signal handler.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The message for an immediate exit: written once, before g_exit_armed is
// first raised, and never changed after, so a handler may read it whenever
// it sees the flag up.
std::array<char, 1024> g_exit_message{};
std::size_t g_exit_length = 0;  // 0 until the message is written
std::atomic<bool> g_exit_armed{false};

void OnStopSignal(int signal_number) {
  if (!g_stop.exchange(true)) return;
  if (!g_exit_armed.load(std::memory_order_acquire)) return;
  std::size_t done = 0;
  while (done < g_exit_length) {
    const ssize_t written = ::write(STDERR_FILENO, g_exit_message.data() + done, g_exit_length - done);
    if (written <= 0) break;  // nobody reads stderr (a closed terminal): exit all the same
    done += static_cast<std::size_t>(written);
  }
  ::_exit(128 + signal_number);
}

bool IgnoredAtStart(int signal_number) {
  struct sigaction current {};
  return sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void InstallStopSignalHandlers() {
  constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  // A handler running on one thread holds the others off until it exits.
  for (const int signal_number : kStopSignals) sigaddset(&action.sa_mask, signal_number);
  // A signal the starting process chose to ignore stays ignored: `nohup`
  // ignores SIGHUP so that a closed session leaves the program running, and
  // a non-interactive shell starts background jobs with SIGINT ignored.
  for (const int signal_number : kStopSignals) {
    if (!IgnoredAtStart(signal_number)) sigaction(signal_number, &action, nullptr);
  }
}

bool StopRequested() noexcept { return g_stop.load(); }

void ExitOnSecondStop(const std::string& message) {
  if (g_exit_length == 0) {
    const std::size_t length = std::min(message.size(), g_exit_message.size() - 1);
    std::copy_n(message.data(), length, g_exit_message.data());
    g_exit_message[length] = '\n';
    g_exit_length = length + 1;
  }
  g_exit_armed.store(true, std::memory_order_release);
}

void StayOnSecondStop() noexcept { g_exit_armed.store(false); }

}  // namespace velmor::toolkit
