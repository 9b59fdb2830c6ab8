#pragma once
// SIGUSR2 toggles the simulated robot's E-stop, so that a test or an
// operator can press it at a moment of their choosing while a recorder runs.
// (SIGUSR1 resumes paused streams: resume_signal.hpp.)
#include <cstdint>

namespace velmor::sim {

/// Installs the handler; the signal only counts, and the stream loop polls.
void InstallEstopSignalHandler();

/// SIGUSR2s that have arrived so far.
std::uint64_t EstopToggles() noexcept;

}  // namespace velmor::sim
