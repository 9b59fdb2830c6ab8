#pragma once
// SIGUSR1 resumes streams that were started paused, so that a test can hold
// a robot silent exactly as long as it needs (until a client has given up
// waiting for the first sample, say) and then let its samples flow.
namespace velmor::sim {

/// Installs the handler; the signal only raises a flag the stream loop polls.
void InstallResumeSignalHandler();

/// True once SIGUSR1 has arrived.
bool ResumeRequested() noexcept;

}  // namespace velmor::sim
