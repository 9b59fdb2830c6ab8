#pragma once
// The simulator's operator signals: a handler that only records the signal,
// and system calls it interrupts carry on.
#include <csignal>

namespace velmor::sim {

inline void InstallSignalHandler(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

}  // namespace velmor::sim
