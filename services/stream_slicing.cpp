#include "services/stream_slicing.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <tuple>

#include "services/joint_segmentation.hpp"

namespace velmor::qrk_impl {
namespace {

using qrk::JointGroup;

template <std::size_t N>
void Widen(const std::array<float, N>& source, std::array<double, N>& destination) {
  std::copy(source.begin(), source.end(), destination.begin());
}

bool HasLayout(JointGroup group, const StartIds& start_ids, const Dofs& dofs) {
  if (start_ids.count(group) != 0 && dofs.count(group) != 0) return true;
  spdlog::error("[velmor::qrk::Client] Missing start ID or DoF metadata for joint group [{}]", static_cast<int>(group));
  return false;
}

// Start IDs arrive signed; a negative one reads as a huge unsigned start and
// therefore never fits.
std::uint32_t StartOf(JointGroup group, const StartIds& start_ids) {
  return static_cast<std::uint32_t>(start_ids.at(group));
}

namespace msg = zenoh_msgs::qrk_msg;
using zenoh_msgs::BasicRun;
using zenoh_msgs::ExtraRun;

// Which full-robot array or group entry of the wire messages fills which
// field of a record: one table per kind, read by the loops below.
constexpr auto kStateJoints = std::make_tuple(
    std::make_pair(BasicRun::kQ, &qrk::RobotStates::q), std::make_pair(BasicRun::kTheta, &qrk::RobotStates::theta),
    std::make_pair(BasicRun::kDq, &qrk::RobotStates::dq), std::make_pair(BasicRun::kDtheta, &qrk::RobotStates::dtheta),
    std::make_pair(BasicRun::kTau, &qrk::RobotStates::tau),
    std::make_pair(BasicRun::kTauDot, &qrk::RobotStates::tau_dot),
    std::make_pair(BasicRun::kTauExt, &qrk::RobotStates::tau_ext),
    std::make_pair(BasicRun::kTauInteract, &qrk::RobotStates::tau_interact),
    std::make_pair(BasicRun::kTemperature, &qrk::RobotStates::temperature));
constexpr auto kStateCartesian = std::make_tuple(
    std::make_pair(&msg::CartesianStateData::flange_pose, &qrk::RobotStates::flange_pose),
    std::make_pair(&msg::CartesianStateData::tcp_pose, &qrk::RobotStates::tcp_pose),
    std::make_pair(&msg::CartesianStateData::tcp_twist, &qrk::RobotStates::tcp_twist),
    std::make_pair(&msg::CartesianStateData::tcp_wrench_local, &qrk::RobotStates::tcp_wrench_local),
    std::make_pair(&msg::CartesianStateData::raw_tcp_wrench_local, &qrk::RobotStates::raw_tcp_wrench_local),
    std::make_pair(&msg::CartesianStateData::raw_ft_sensor, &qrk::RobotStates::raw_ft_sensor));
constexpr auto kActionJoints = std::make_tuple(std::make_pair(ExtraRun::kQd, &qrk::RobotActions::q_d),
                                               std::make_pair(ExtraRun::kDqd, &qrk::RobotActions::dq_d),
                                               std::make_pair(ExtraRun::kTaud, &qrk::RobotActions::tau_d));
constexpr auto kActionCartesian =
    std::make_tuple(std::make_pair(&msg::CartesianDesiredData::tcp_pose_d, &qrk::RobotActions::tcp_pose_d),
                    std::make_pair(&msg::CartesianDesiredData::tcp_twist_d, &qrk::RobotActions::tcp_twist_d),
                    std::make_pair(&msg::CartesianDesiredData::tcp_wrench_d, &qrk::RobotActions::tcp_wrench_d));

// Cuts every joint field of `table` out of `joints`; stops at the first that
// does not fit.
template <class Table, class Sample, class Record>
bool CutJoints(const Table& table, const Sample& sample, std::uint32_t start, std::uint64_t dof, Record& record) {
  return std::apply(
      [&](const auto&... pair) {
        return (SegmentJointData(zenoh_msgs::Joints(sample, pair.first), start, dof, record.*pair.second) && ...);
      },
      table);
}

template <class Table, class Cartesian, class Record>
void WidenCartesian(const Table& table, const Cartesian& source, Record& record) {
  std::apply([&](const auto&... pair) { (Widen(source.*pair.first, record.*pair.second), ...); }, table);
}

// What tells the two records' slicing apart: their tables and log texts.
template <class JointTable, class CartesianTable>
struct Slicing {
  JointTable joints;
  CartesianTable cartesian;
  const char* mismatch;
  const char* segment_failure;
};
template <class JointTable, class CartesianTable>
Slicing(JointTable, CartesianTable, const char*, const char*) -> Slicing<JointTable, CartesianTable>;

constexpr Slicing kStateSlicing{kStateJoints, kStateCartesian,
                                "[velmor::qrk::Client] The received data has mismatched sizes: cartesian_data size "
                                "is {}, expected number of joint groups is {}",
                                "[velmor::qrk::Client] Failed to segment full-DoF joint data for joint group [{}]"};
constexpr Slicing kActionSlicing{kActionJoints, kActionCartesian,
                                 "[velmor::qrk::Client] The received desired data has mismatched sizes: "
                                 "cartesian_data size is {}, expected number of joint groups is {}",
                                 "[velmor::qrk::Client] Failed to segment desired joint data for joint group [{}]"};

// Measured states carry world-frame wrenches too; commanded values do not.
void FinishCartesian(qrk::RobotStates& states) { FillWorldWrenches(states); }
void FinishCartesian(qrk::RobotActions&) {}

// Every group of `groups` cut out of the full-robot arrays, then the
// Cartesian values of every group the sample lists; empty, with an error
// line, when the sample does not fit.
template <class Record, class Sample, class Kind>
std::map<JointGroup, Record> Slice(const Sample& sample, const Kind& kind,
                                   std::pair<std::int32_t, std::int32_t> timestamp, const GroupNames& groups,
                                   const StartIds& start_ids, const Dofs& dofs) {
  const auto cartesian = zenoh_msgs::Cartesian(sample);
  const auto indices = zenoh_msgs::GroupIndices(sample);
  if (cartesian.size() != indices.size()) {
    spdlog::error(fmt::runtime(kind.mismatch), cartesian.size(), indices.size());
    return {};
  }

  std::map<JointGroup, Record> result;
  for (const auto& entry : groups) {
    const JointGroup group = entry.first;
    if (!HasLayout(group, start_ids, dofs)) return {};
    Record& record = result[group];
    record.timestamp = timestamp;
    if (!CutJoints(kind.joints, sample, StartOf(group, start_ids), dofs.at(group), record)) {
      spdlog::error(fmt::runtime(kind.segment_failure), static_cast<int>(group));
      return {};
    }
  }

  for (std::size_t i = 0; i < indices.size(); ++i) {
    Record& record = result[WireGroup(indices[i])];
    WidenCartesian(kind.cartesian, cartesian[i], record);
    FinishCartesian(record);
  }
  return result;
}

}  // namespace

std::map<JointGroup, qrk::RobotStates> SliceStates(const BasicStreamData& basic, const GroupNames& groups,
                                                   const StartIds& start_ids, const Dofs& dofs) {
  return Slice<qrk::RobotStates>(basic, kStateSlicing, StampOf(basic), groups, start_ids, dofs);
}

std::map<JointGroup, qrk::RobotActions> SliceActions(const ExtraStreamData& extra,
                                                     std::pair<std::int32_t, std::int32_t> timestamp,
                                                     const GroupNames& groups, const StartIds& start_ids,
                                                     const Dofs& dofs) {
  return Slice<qrk::RobotActions>(extra, kActionSlicing, timestamp, groups, start_ids, dofs);
}

}  // namespace velmor::qrk_impl
