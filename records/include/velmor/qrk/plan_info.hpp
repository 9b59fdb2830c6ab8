#pragma once
#include <string>

namespace velmor::qrk {

/// Information about the plan being executed. Default: empty strings, zero
/// scale, not waiting. The time period and number arrive as text and stay so.
struct PlanInfo {
  std::string pt_name;
  std::string node_name;
  std::string node_path;
  std::string node_path_time_period;
  std::string node_path_number;
  std::string assigned_plan_name;
  double velocity_scale{0.0};
  bool waiting_for_step{false};
};

}  // namespace velmor::qrk
