// A recording is only worth its columns: every row must have its header's
// columns, and each value must sit under the name of the joint and field it
// came from, whichever group and whatever part of the robot it covers.
#include "cli/recorder/record_rows.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/test_robot.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::cli {
namespace {

using qrk::JointGroup;
using test::kJoints;
using test::Robot;
using Json = nlohmann::ordered_json;

std::vector<std::string> Cells(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  std::vector<std::string> cells;
  std::stringstream stream(line);
  std::string cell;
  while (std::getline(stream, cell, ',')) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

// Column name -> cell of one CSV row, checking that both have as many columns.
std::map<std::string, std::string> ByColumn(const std::string& header, const std::string& row) {
  const auto names = Cells(header);
  const auto cells = Cells(row);
  EXPECT_EQ(cells.size(), names.size()) << row;
  std::map<std::string, std::string> columns;
  for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) columns[names[i]] = cells[i];
  return columns;
}

const SampleStamp kStamp{7, 1700000000.25, {12, 34}};

TEST(RecordRows, EveryCsvRowHasItsHeadersColumnsWhateverTheGroupsSize) {
  const Robot robot;
  const RowWriter rows(RecordFormat::kCsv, kJoints);
  const auto states = qrk_impl::SliceStates(robot.Basic(), robot.groups, robot.start_ids, robot.dofs);
  const auto actions = qrk_impl::SliceActions(robot.Extra(), {12, 34}, robot.groups, robot.start_ids, robot.dofs);
  ASSERT_EQ(states.size(), 3u);
  ASSERT_EQ(actions.size(), 3u);
  const std::size_t state_columns = Cells(rows.StatesHeader()).size();
  const std::size_t action_columns = Cells(rows.ActionsHeader()).size();
  // 5 stamp columns, 9 joint quantities of 16 joints, 7 + 7 + 6 * 6 cartesian.
  EXPECT_EQ(state_columns, 5u + 9 * kJoints + 50);
  EXPECT_EQ(action_columns, 5u + 3 * kJoints + 19);
  for (const auto& [group, record] : states) {
    std::string out;
    rows.AppendStates(out, kStamp, robot.groups.at(group), record);
    EXPECT_EQ(Cells(out).size(), state_columns) << robot.groups.at(group);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
  }
  for (const auto& [group, record] : actions) {
    std::string out;
    rows.AppendActions(out, kStamp, robot.groups.at(group), record);
    EXPECT_EQ(Cells(out).size(), action_columns) << robot.groups.at(group);
  }
}

TEST(RecordRows, AGroupsValuesLandUnderItsOwnJointsInCsv) {
  const Robot robot;
  const RowWriter rows(RecordFormat::kCsv, kJoints);
  const auto states = qrk_impl::SliceStates(robot.Basic(), robot.groups, robot.start_ids, robot.dofs);
  std::string out;
  rows.AppendStates(out, kStamp, "ARM_2", states.at(JointGroup::ARM_2));
  auto row = ByColumn(rows.StatesHeader(), out);
  EXPECT_EQ(row["sample"], "7");
  EXPECT_EQ(row["receive_time"], "1700000000.250000");
  EXPECT_EQ(row["stamp_first"], "12");
  EXPECT_EQ(row["stamp_second"], "34");
  EXPECT_EQ(row["group"], "ARM_2");
  // ARM_2 starts at joint 7: its first joint is the robot's eighth.
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(row["q_" + std::to_string(i)], std::to_string(107 + i));
    EXPECT_EQ(row["temperature_" + std::to_string(i)], std::to_string(907 + i));
  }
  for (std::size_t i = 7; i < kJoints; ++i) EXPECT_EQ(row["q_" + std::to_string(i)], "") << i;
  EXPECT_EQ(row["tcp_pose_0"], "40");
  EXPECT_EQ(row["tcp_pose_6"], "46");
  EXPECT_EQ(row["flange_pose_0"], "0");

  const auto actions = qrk_impl::SliceActions(robot.Extra(), {12, 34}, robot.groups, robot.start_ids, robot.dofs);
  out.clear();
  rows.AppendActions(out, kStamp, "EXT_AXIS", actions.at(JointGroup::EXT_AXIS));
  row = ByColumn(rows.ActionsHeader(), out);
  EXPECT_EQ(row["group"], "EXT_AXIS");
  EXPECT_EQ(row["q_d_0"], "114");
  EXPECT_EQ(row["q_d_1"], "115");
  EXPECT_EQ(row["q_d_2"], "");
  EXPECT_EQ(row["tau_d_1"], "315");
  EXPECT_EQ(row["tcp_pose_d_0"], "50");
}

TEST(RecordRows, AJsonLineHoldsOneSampleOfOneGroupWithItsOwnJoints) {
  const Robot robot;
  const RowWriter rows(RecordFormat::kJsonl, kJoints);
  EXPECT_EQ(rows.StatesHeader(), "");
  EXPECT_EQ(rows.ActionsHeader(), "");
  const auto states = qrk_impl::SliceStates(robot.Basic(), robot.groups, robot.start_ids, robot.dofs);
  std::string out;
  rows.AppendStates(out, kStamp, "ARM_2", states.at(JointGroup::ARM_2));
  rows.AppendStates(out, kStamp, "EXT_AXIS", states.at(JointGroup::EXT_AXIS));
  ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
  std::stringstream lines(out);
  std::string line;
  std::getline(lines, line);
  const auto arm = Json::parse(line);
  EXPECT_EQ(arm["sample"], 7);
  EXPECT_EQ(arm["receive_time"], 1700000000.25);
  EXPECT_EQ(arm["stamp"], Json::array({12, 34}));
  EXPECT_EQ(arm["group"], "ARM_2");
  EXPECT_EQ(arm["q"], Json::array({107, 108, 109, 110, 111, 112, 113}));
  EXPECT_EQ(arm["tcp_pose"][0], 40);
  // The members follow the CSV header's order of fields.
  std::vector<std::string> keys;
  for (const auto& member : arm.items()) keys.push_back(member.key());
  EXPECT_EQ(keys.front(), "sample");
  EXPECT_EQ(keys.at(4), "q");
  EXPECT_EQ(keys.back(), "raw_ft_sensor");
  EXPECT_EQ(keys.size(), 4u + 17);

  std::getline(lines, line);
  EXPECT_EQ(Json::parse(line)["tau"], Json::array({514, 515}));
}

}  // namespace
}  // namespace velmor::cli
