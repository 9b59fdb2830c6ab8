#pragma once
// SIGUSR1 as an operator's mark: the handler only counts it; the program
// polls the count and acts on its own thread. Installed only by a program
// that takes marks, so that elsewhere SIGUSR1 keeps its default (it ends
// the process).

#include <cstdint>

namespace velmor::toolkit {

/// Installs the handler for SIGUSR1.
void InstallMarkSignalHandler();

/// The marks that arrived since the last call.
std::uint64_t TakeMarks() noexcept;

}  // namespace velmor::toolkit
