#pragma once
// SIGINT and SIGTERM only raise a flag; the main loop polls it and shuts
// down in order (endpoints undeclared, session closed), which a handler could
// not do safely itself.

namespace velmor::toolkit {

/// Installs the handlers for SIGINT and SIGTERM. Called before the session
/// opens, so that a signal during start-up already ends the program cleanly.
void InstallStopSignalHandlers();

/// True once SIGINT or SIGTERM has arrived.
bool StopRequested() noexcept;

}  // namespace velmor::toolkit
