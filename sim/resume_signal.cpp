#include "sim/resume_signal.hpp"

#include <csignal>

namespace velmor::sim {
namespace {

volatile std::sig_atomic_t resume_requested = 0;

extern "C" void OnResumeSignal(int) { resume_requested = 1; }

}  // namespace

void InstallResumeSignalHandler() {
  struct sigaction action {};
  action.sa_handler = &OnResumeSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &action, nullptr);
}

bool ResumeRequested() noexcept { return resume_requested != 0; }

}  // namespace velmor::sim
