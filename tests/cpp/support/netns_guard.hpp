#pragma once
// Every test process may open zenoh sessions, whose default configuration
// scouts by multicast on every interface. Tests therefore refuse to run unless
// scripts/netns-run put them in a private namespace holding only the
// interfaces it created.
#include <string>

namespace velmor::test {

/// Empty when the process sits in a namespace made by scripts/netns-run;
/// otherwise the reason it does not.
std::string IsolationProblem();

/// True, after saying why on stderr, when the process must not open a
/// session: `what` names the program ("Tests", "This benchmark").
bool RefuseOutsideIsolation(const char* what);

}  // namespace velmor::test
