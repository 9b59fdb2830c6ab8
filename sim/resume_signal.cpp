#include "sim/resume_signal.hpp"

#include <csignal>

#include "sim/signal_handler.hpp"

namespace velmor::sim {
namespace {

volatile std::sig_atomic_t resume_requested = 0;

extern "C" void OnResumeSignal(int) { resume_requested = 1; }

}  // namespace

void InstallResumeSignalHandler() { InstallSignalHandler(SIGUSR1, &OnResumeSignal); }

bool ResumeRequested() noexcept { return resume_requested != 0; }

}  // namespace velmor::sim
