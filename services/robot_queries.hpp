#pragma once
// The remote queries as callers see them: a typed result, or the client's
// exception when the robot does not answer. The public Client and qrk share
// these, so both report a failed query in the same words.
#include <map>
#include <utility>

#include "services/data_rpc.hpp"
#include "velmor/qrk/joint_group.hpp"
#include "velmor/qrk/plan_info.hpp"

namespace velmor::qrk_impl {

/// Throws std::runtime_error "[velmor::qrk::Client] plan_info: No reply from the robot".
qrk::PlanInfo FetchPlanInfo(DataRpc& rpc);

/// Throws std::runtime_error "[velmor::qrk::Model::configuration_score] No reply from the robot".
std::map<qrk::JointGroup, std::pair<double, double>> FetchConfigurationScores(DataRpc& rpc);

}  // namespace velmor::qrk_impl
