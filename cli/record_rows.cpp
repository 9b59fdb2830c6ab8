#include "cli/record_rows.hpp"

#include <fmt/format.h>

#include "cli/json_writer.hpp"

namespace velmor::cli {
namespace {

// Every field in column order; `joint` marks a per-joint vector.
template <class F>
void VisitFields(const qrk::RobotStates& s, F&& field) {
  field("q", s.q, true);
  field("theta", s.theta, true);
  field("dq", s.dq, true);
  field("dtheta", s.dtheta, true);
  field("tau", s.tau, true);
  field("tau_dot", s.tau_dot, true);
  field("tau_ext", s.tau_ext, true);
  field("tau_interact", s.tau_interact, true);
  field("temperature", s.temperature, true);
  field("flange_pose", s.flange_pose, false);
  field("tcp_pose", s.tcp_pose, false);
  field("tcp_twist", s.tcp_twist, false);
  field("tcp_wrench", s.tcp_wrench, false);
  field("tcp_wrench_local", s.tcp_wrench_local, false);
  field("raw_tcp_wrench", s.raw_tcp_wrench, false);
  field("raw_tcp_wrench_local", s.raw_tcp_wrench_local, false);
  field("raw_ft_sensor", s.raw_ft_sensor, false);
}

template <class F>
void VisitFields(const qrk::RobotActions& a, F&& field) {
  field("q_d", a.q_d, true);
  field("dq_d", a.dq_d, true);
  field("tau_d", a.tau_d, true);
  field("tcp_pose_d", a.tcp_pose_d, false);
  field("tcp_twist_d", a.tcp_twist_d, false);
  field("tcp_wrench_d", a.tcp_wrench_d, false);
}

template <class Record>
std::string CsvHeader(std::size_t joint_columns) {
  std::string header = "sample,receive_time,stamp_first,stamp_second,group";
  VisitFields(Record{}, [&](const char* name, const auto& values, bool joint) {
    const std::size_t columns = joint ? joint_columns : values.size();
    for (std::size_t i = 0; i < columns; ++i) fmt::format_to(std::back_inserter(header), ",{}_{}", name, i);
  });
  return header + "\n";
}

template <class Record>
void AppendCsv(std::string& out, const RowStamp& stamp, std::string_view group, const Record& record,
               std::size_t joint_columns) {
  fmt::format_to(std::back_inserter(out), "{},{:.6f},{},{},{}", stamp.sample, stamp.receive_time, stamp.timestamp.first,
                 stamp.timestamp.second, group);
  VisitFields(record, [&](const char*, const auto& values, bool joint) {
    for (const double value : values) {
      out += ',';
      AppendNumber(out, value);
    }
    if (joint && values.size() < joint_columns) out.append(joint_columns - values.size(), ',');
  });
  out += '\n';
}

template <class Record>
void AppendJsonLine(std::string& out, const RowStamp& stamp, std::string_view group, const Record& record) {
  JsonWriter json;
  json.BeginObject()
      .Key("sample")
      .Integer(static_cast<std::int64_t>(stamp.sample))
      .Key("receive_time")
      .Number(stamp.receive_time)
      .Key("stamp")
      .BeginArray()
      .Integer(stamp.timestamp.first)
      .Integer(stamp.timestamp.second)
      .EndArray()
      .Key("group")
      .String(group);
  VisitFields(record, [&](const char* name, const auto& values, bool) { json.Key(name).Numbers(values); });
  json.EndObject();
  out += json.Text();
  out += '\n';
}

}  // namespace

std::string RowWriter::StatesHeader() const {
  return format_ == RecordFormat::kCsv ? CsvHeader<qrk::RobotStates>(joint_columns_) : std::string();
}

std::string RowWriter::ActionsHeader() const {
  return format_ == RecordFormat::kCsv ? CsvHeader<qrk::RobotActions>(joint_columns_) : std::string();
}

void RowWriter::AppendStates(std::string& out, const RowStamp& stamp, std::string_view group,
                             const qrk::RobotStates& states) const {
  if (format_ == RecordFormat::kCsv) {
    AppendCsv(out, stamp, group, states, joint_columns_);
  } else {
    AppendJsonLine(out, stamp, group, states);
  }
}

void RowWriter::AppendActions(std::string& out, const RowStamp& stamp, std::string_view group,
                              const qrk::RobotActions& actions) const {
  if (format_ == RecordFormat::kCsv) {
    AppendCsv(out, stamp, group, actions, joint_columns_);
  } else {
    AppendJsonLine(out, stamp, group, actions);
  }
}

}  // namespace velmor::cli
