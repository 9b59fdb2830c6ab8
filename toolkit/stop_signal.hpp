#pragma once
// SIGINT, SIGTERM and SIGHUP (a closed terminal or SSH session) only raise a
// flag; the main loop polls it and shuts down in order (endpoints undeclared,
// session closed, files finished), which a handler could not do safely
// itself. A program whose shutdown can take long may arm an immediate exit:
// a further signal once the flag is up then writes a message prepared
// beforehand and ends the process at once.

#include <string>

namespace velmor::toolkit {

/// Installs the handlers for SIGINT, SIGTERM and SIGHUP, leaving alone any of
/// them that the process started with ignored (`nohup`, background jobs).
/// Called before the session opens, so that a signal during start-up already
/// ends the program cleanly.
void InstallStopSignalHandlers();

/// True once SIGINT, SIGTERM or SIGHUP has arrived.
bool StopRequested() noexcept;

/// From now on, a stop signal that finds the flag already up writes `message`
/// (with a newline) to stderr and ends the process at once with status
/// 128 + the signal's number. The first call fixes the message (cut at 1023
/// bytes); later ones only arm it again.
void ExitOnSecondStop(const std::string& message);

/// A further stop signal only raises the flag again, as before
/// ExitOnSecondStop: once nothing is left that an immediate exit would cut.
void StayOnSecondStop() noexcept;

}  // namespace velmor::toolkit
