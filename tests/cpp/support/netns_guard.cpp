#include "support/netns_guard.hpp"

#include <net/if.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

namespace velmor::test {
namespace {

std::set<std::string> AllowedInterfaces() {
  std::set<std::string> allowed{"lo"};
  const char* list = std::getenv("VELMOR_NETNS_IFACES");
  std::stringstream stream(list ? list : "");
  std::string name;
  while (std::getline(stream, name, ',')) {
    if (!name.empty()) allowed.insert(name);
  }
  return allowed;
}

}  // namespace

std::string IsolationProblem() {
  if (std::getenv("VELMOR_NETNS") == nullptr) {
    return "not started through scripts/netns-run (VELMOR_NETNS unset)";
  }
  const auto allowed = AllowedInterfaces();
  struct if_nameindex* interfaces = if_nameindex();
  if (interfaces == nullptr) return "cannot list network interfaces";
  std::string problem;
  for (auto* it = interfaces; it->if_index != 0; ++it) {
    if (allowed.count(it->if_name) == 0) {
      problem = std::string("foreign network interface '") + it->if_name + "' in this namespace";
      break;
    }
  }
  if_freenameindex(interfaces);
  return problem;
}

bool RefuseOutsideIsolation(const char* what) {
  const std::string problem = IsolationProblem();
  if (problem.empty()) return false;
  std::fprintf(stderr,
               "REFUSING TO RUN: %s.\n%s open zenoh sessions that scout by multicast; run with scripts/netns-run.\n",
               problem.c_str(), what);
  return true;
}

}  // namespace velmor::test
