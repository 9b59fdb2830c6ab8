#pragma once
// What the simulated robot reports about its work when asked: the primitive
// each joint group runs, the plan being executed, and how well-conditioned
// each group's configuration is. Like the robot model, these are pure
// functions of time. The robot runs a pick-and-place plan in 4-second steps.
#include <cstdint>
#include <string>
#include <vector>

namespace velmor::sim {

/// One block per group, in the order of `groups`: the marker
/// "jointGroup = <g>", then "primitiveName = <name>", then the primitive's
/// state variables, each written "name = value".
std::vector<std::string> PrimitiveStateEntries(const std::vector<std::uint16_t>& groups, double t);

/// The eight plan strings: primitive name, node name, node path, time spent
/// in the node, node number, plan name, velocity scale, and "1" or "0" for
/// waiting for a step.
std::vector<std::string> PlanInfoStrings(double t);

inline constexpr std::size_t kManipulabilityVectorSize = 8;

/// The packed manipulability vector of `group`: floats 0 and 1 carry the
/// group number and 0, floats 2 to 7 six values that drift slowly between 0
/// and 0.8, so that configuration scores sweep their whole range.
std::vector<float> ManipulabilityVector(std::uint16_t group, double t);

}  // namespace velmor::sim
